// Floating division and the text of floating values (15 significant digits)
var
  x, a, b, step: Double;
  i: Integer;

begin
  WriteLn(7 / 2);
  WriteLn(1 / 3);
  WriteLn(2 / 3);
  WriteLn(10 / 4);
  WriteLn(-1 / 8);
  WriteLn(1 / 7);
  WriteLn(100 / 7);
  WriteLn(6 / 3);
  a := 0.1;
  b := 0.2;
  WriteLn(a + b);
  WriteLn(a + b = 0.3);
  WriteLn(1.5 * 4);
  WriteLn(2.5 + 0.25);
  WriteLn(3.0 - 3);
  WriteLn(-0.5);
  WriteLn(1 / 1024);
  WriteLn(0.0001);
  WriteLn(0.00002);
  WriteLn(-0.000015);
  WriteLn(0.000001);
  WriteLn(0.0000025);
  a := 1000000;
  WriteLn(a * 1000000000);
  a := 123456789;
  WriteLn(a * 1000000);
  a := 1234567;
  WriteLn(a * 1000000000000);
  x := 0;
  step := 0.1;
  for i := 1 to 10 do
    x := x + step;
  WriteLn(x);
  WriteLn(x = 1);
  x := 1;
  for i := 1 to 5 do
    x := x * 1.5;
  WriteLn(x);
  x := 2;
  for i := 1 to 4 do
    x := x * x;
  WriteLn(x);
  WriteLn(x / 3);
  WriteLn(-x / 7);
end.
