// Integer arithmetic: div and mod with negative operands, precedence, promotion past 32 bits
int a, b;
long big;
string line;

{
  a = -7;
  b = 2;
  WriteLn(a div b);
  WriteLn(a % b);
  WriteLn(7 div (-2));
  WriteLn(7 % (-2));
  WriteLn(-7 div (-2));
  WriteLn(-7 % (-2));
  WriteLn(-8 % 4);
  WriteLn(0 div 5);
  line = "";
  for (a = -4; a <= 4; a++)
    line = line + IntToStr(a div 3) + "/" + IntToStr(a % 3) + " ";
  WriteLn(line);
  WriteLn(2 + 3 * 4);
  WriteLn((2 + 3) * 4);
  WriteLn(10 - 4 - 3);
  WriteLn(2 * 3 % 4);
  WriteLn(100 div 7 div 2);
  WriteLn(-2 * 3);
  WriteLn(-(3 - 5));
  WriteLn(-3 + 10);
  WriteLn(0xFF + 0x10);
  WriteLn((6 ^ 3));
  big = 2147483647;
  WriteLn(big + 1);
  WriteLn(big * 2);
  WriteLn(-big - 2);
  big = 100000;
  WriteLn(big * 100000);
  WriteLn(big * big * 1000);
  big = 46341;
  WriteLn(big * 46341);
  WriteLn(1 < 2);
  WriteLn(2 <= 1);
  WriteLn((1 < 2) && (2 < 3));
  WriteLn((1 > 2) || (2 > 3));
  WriteLn(!(1 == 1));
  WriteLn((3 > 2) != (2 > 1));
}
