// Procedures and functions: var parameters, value parameters, locals shadowing globals
// (node has no by-reference parameters: results come back through globals here)
var a, b, q, r, x, s;

function Swap() {
  var t = a;
  a = b;
  b = t;
}

function DivMod(n, d) {
  r = n % d;
  q = (n - r) / d;
}


function Append(part) {
  if (s != "")
    s = s + ", ";
  s = s + part;
}

function Twice(n) {
  n = n * 2;
  return n;
}

function Shadow() {
  var x = 5;
  return x * 10;
}

a = 1;
b = 2;
Swap();
WriteLn(IntToStr(a) + " " + IntToStr(b));
DivMod(47, 5);
WriteLn(IntToStr(q) + " r " + IntToStr(r));
DivMod(-47, 5);
WriteLn(IntToStr(q) + " r " + IntToStr(r));
s = "";
Append("red");
Append("green");
Append("blue");
WriteLn(s);
x = 7;
WriteLn(Twice(x));
WriteLn(x);
WriteLn(Shadow());
WriteLn(x);
WriteLn(Twice(Twice(Twice(1))));
