// try/except with RaiseException, try/finally order, nesting, raising from deep calls
int i;
bool reached;

void Check(int n) {
  if (n == 0)
    RaiseException("reached zero");
  Check(n - 1);
  WriteLn("never printed");
}

string Safe(int a, int b) {
  string r;
  r = "none";
  try {
    if (b == 0)
      RaiseException("division of " + IntToStr(a) + " by zero");
    r = IntToStr(a div b);
  } except {
    r = "error: " + ExceptionMessage;
  }
  return r;
}

{
  try {
    RaiseException("first");
    WriteLn("not here");
  } except {
    WriteLn("caught: " + ExceptionMessage);
    WriteLn(ExceptionClassName);
  }
  WriteLn("a");
  try {
    WriteLn("b");
  } finally {
    WriteLn("c");
  }
  WriteLn("d");
  try {
    try {
      WriteLn("inner body");
      RaiseException("inner");
    } finally {
      WriteLn("cleanup");
    }
    WriteLn("skipped");
  } except {
    WriteLn("outer caught " + ExceptionMessage);
  }
  try {
    try {
      RaiseException("x");
    } except {
      RaiseException("wrapped: " + ExceptionMessage);
    }
  } except {
    WriteLn(ExceptionMessage);
  }
  try {
    Check(3);
  } except {
    WriteLn("deep: " + ExceptionMessage);
  }
  WriteLn(Safe(10, 3));
  WriteLn(Safe(10, 0));
  for (i = 1; i <= 5; i++) {
    try {
      if ((i % 2) == 0)
        RaiseException("even " + IntToStr(i));
      WriteLn("odd " + IntToStr(i));
    } except {
      WriteLn(ExceptionMessage);
    }
  }
  reached = false;
  try {
    try {
      try {
        RaiseException("three levels");
      } finally {
        WriteLn("finally 1");
      }
    } finally {
      WriteLn("finally 2");
    }
    reached = true;
  } except {
    WriteLn("outermost: " + ExceptionMessage);
  }
  WriteLn(reached);
}
