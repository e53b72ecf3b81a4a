// Integer arithmetic: div and mod with negative operands, precedence, promotion past 32 bits
var
  a, b, big: Integer;
  line: String;

begin
  a := -7;
  b := 2;
  WriteLn(a div b);
  WriteLn(a mod b);
  WriteLn(7 div (-2));
  WriteLn(7 mod (-2));
  WriteLn(-7 div (-2));
  WriteLn(-7 mod (-2));
  WriteLn(-8 mod 4);
  WriteLn(0 div 5);
  line := '';
  for a := -4 to 4 do
    line := line + IntToStr(a div 3) + '/' + IntToStr(a mod 3) + ' ';
  WriteLn(line);
  WriteLn(2 + 3 * 4);
  WriteLn((2 + 3) * 4);
  WriteLn(10 - 4 - 3);
  WriteLn(2 * 3 mod 4);
  WriteLn(100 div 7 div 2);
  WriteLn(-2 * 3);
  WriteLn(-(3 - 5));
  WriteLn(-3 + 10);
  WriteLn($FF + $10);
  WriteLn(6 xor 3);
  big := 2147483647;
  WriteLn(big + 1);
  WriteLn(big * 2);
  WriteLn(-big - 2);
  big := 100000;
  WriteLn(big * 100000);
  WriteLn(big * big * 1000);
  WriteLn(46341 * 46341);
  WriteLn(1 < 2);
  WriteLn(2 <= 1);
  WriteLn((1 < 2) and (2 < 3));
  WriteLn((1 > 2) or (2 > 3));
  WriteLn(not (1 = 1));
  WriteLn((3 > 2) xor (2 > 1));
end.
