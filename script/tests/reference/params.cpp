// Procedures and functions: var parameters, value parameters, locals shadowing globals
int a, b, q, r, x;
string s;

void Swap(int &p, int &q) {
  int t;
  t = p;
  p = q;
  q = t;
}

void DivMod(int n, int d, int &quot, int &rem) {
  quot = n div d;
  rem = n % d;
}


void Append(string &text, string part) {
  if (text != "")
    text = text + ", ";
  text = text + part;
}

int Twice(int n) {
  n = n * 2;
  return n;
}

int Shadow() {
  int x;
  x = 5;
  return x * 10;
}

{
  a = 1;
  b = 2;
  Swap(a, b);
  WriteLn(IntToStr(a) + " " + IntToStr(b));
  DivMod(47, 5, q, r);
  WriteLn(IntToStr(q) + " r " + IntToStr(r));
  DivMod(-47, 5, q, r);
  WriteLn(IntToStr(q) + " r " + IntToStr(r));
  s = "";
  Append(s, "red");
  Append(s, "green");
  Append(s, "blue");
  WriteLn(s);
  x = 7;
  WriteLn(Twice(x));
  WriteLn(x);
  WriteLn(Shadow());
  WriteLn(x);
  WriteLn(Twice(Twice(Twice(1))));
}
