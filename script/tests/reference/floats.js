// Floating division and the text of floating values (15 significant digits)
var x, i;
WriteLn(7.0 / 2);
WriteLn(1.0 / 3);
WriteLn(2.0 / 3);
WriteLn(10.0 / 4);
WriteLn(-1.0 / 8);
WriteLn(1.0 / 7);
WriteLn(100.0 / 7);
WriteLn(6.0 / 3);
WriteLn(0.1 + 0.2);
WriteLn(0.1 + 0.2 == 0.3);
WriteLn(1.5 * 4);
WriteLn(2.5 + 0.25);
WriteLn(3.0 - 3);
WriteLn(-0.5);
WriteLn(1.0 / 1024);
WriteLn(0.0001);
WriteLn(0.00002);
WriteLn(-0.000015);
WriteLn(0.000001);
WriteLn(0.0000025);
WriteLn(1000000.0 * 1000000000.0);
WriteLn(123456789.0 * 1000000.0);
WriteLn(1234567.0 * 1000000000000.0);
x = 0;
for (i = 1; i <= 10; i++)
  x = x + 0.1;
WriteLn(x);
WriteLn(x == 1);
x = 1;
for (i = 1; i <= 5; i++)
  x = x * 1.5;
WriteLn(x);
x = 2;
for (i = 1; i <= 4; i++)
  x = x * x;
WriteLn(x);
WriteLn(x / 3);
WriteLn(-x / 7);
