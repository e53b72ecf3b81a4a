// Recursion, every loop kind, try, return, switch, var parameters, arrays, strings
int i, j, n;
string s;
int a[5];
TStringList sl;

int Fact(int n) {
  if (n <= 1) return 1;
  return n * Fact(n - 1);
}

void Swap(int &x, int &y) {
  int t;
  t = x; x = y; y = t;
}

int FirstOver(int limit) {
  int k;
  for (k = 1; k <= 100; k++) {
    if (k * k > limit) return k;
  }
  return -1;
}

void Guarded() {
  try {
    WriteLn("guarded body");
    return;
  } finally {
    WriteLn("finally ran");
  }
}

{
  WriteLn("fact " + IntToStr(Fact(10)));
  s = "";
  for (i = 0; i < 5; i++) s = s + IntToStr(i);
  WriteLn("for " + s);
  i = 0; n = 0;
  while (i < 10) {
    i++;
    if (i % 2 == 0) continue;
    if (i > 7) break;
    n += i;
  }
  WriteLn("while " + IntToStr(n) + " " + IntToStr(i));
  j = 0;
  do { j += 3; } while (j < 10);
  WriteLn("do " + IntToStr(j));
  i = 1; j = 2;
  Swap(i, j);
  WriteLn("swap " + IntToStr(i) + IntToStr(j));
  for (i = 0; i < 5; i++) a[i] = i * i;
  WriteLn("array " + IntToStr(a[1] + a[4]));
  for (i = 1; i <= 4; i++) {
    switch (i) {
      case 1: WriteLn("switch one");
      case 2, 3: { WriteLn("switch two or three"); break; }
      default: WriteLn("switch default " + IntToStr(i));
    }
  }
  try {
    RaiseException("boom");
    WriteLn("not reached");
  } except {
    WriteLn("caught " + ExceptionMessage);
  }
  Guarded();
  WriteLn("first over " + IntToStr(FirstOver(50)));
  s = "Hello, world";
  WriteLn(UpperCase(Copy(s, 1, 5)) + " " + IntToStr(Pos("world", s)) + " " + IntToStr(Length(s)));
  WriteLn(7 / 2);
  WriteLn(7 % 3);
  sl = new TStringList;
  sl.Add("alpha");
  sl.Add("beta");
  WriteLn(sl[1] + " " + IntToStr(sl.Count));
  delete sl;
}
