// Recursion, every loop kind, try, return, switch, with, var parameters, arrays, strings
var i, j, n, s, sl;
var a[5];

function Fact(n) {
  if (n <= 1) return 1;
  return n * Fact(n - 1);
}

function Swap(&x, &y) {
  var t = x;
  x = y;
  y = t;
}

function FirstOver(limit) {
  for (var k = 1; k <= 100; k++) {
    if (k * k > limit) return k;
  }
  return -1;
}

function Guarded() {
  try {
    WriteLn("guarded body");
    return;
  } finally {
    WriteLn("finally ran");
  }
}

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
sl = TStringList.Create();
with (sl) {
  Add("alpha");
  Add("beta");
}
WriteLn(sl[1] + " " + IntToStr(sl.Count));
sl.Free();
