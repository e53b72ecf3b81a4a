// Concatenation, Length, Copy, Pos and UpperCase; building a text piece by piece
var s = "Hello";
var t = s + ", " + "world";
var i, p, piece, rest;
WriteLn(t);
WriteLn(Length(t));
WriteLn(Length(""));
WriteLn(Copy(t, 1, 5));
WriteLn(Copy(t, 8, 100));
WriteLn("[" + Copy(t, 20, 3) + "]");
WriteLn("[" + Copy(t, 3, 0) + "]");
WriteLn(Pos("world", t));
WriteLn(Pos("o", t));
WriteLn(Pos("xyz", t));
WriteLn(Pos("H", t));
WriteLn(UpperCase(t));
WriteLn(UpperCase("abc-XYZ 123"));
t = "";
for (i = 1; i <= 5; i++)
  t = t + IntToStr(i * i) + ";";
WriteLn(t);
// split on ';'
rest = t;
p = Pos(";", rest);
while (p > 0) {
  piece = Copy(rest, 1, p - 1);
  rest = Copy(rest, p + 1, Length(rest));
  WriteLn("<" + piece + "> " + IntToStr(Length(rest)));
  p = Pos(";", rest);
}
WriteLn(s == "Hello");
WriteLn(s < "Help");
WriteLn("B" < "a");
WriteLn("abc" != "abd");
s = "";
for (i = 1; i <= 3; i++)
  s = s + s + IntToStr(i);
WriteLn(s);
WriteLn("it's");
