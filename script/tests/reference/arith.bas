' Integer arithmetic: div and mod with negative operands, precedence, promotion past 32 bits
Dim a, b, big, line
a = -7
b = 2
WriteLn(a \ b)
WriteLn(a Mod b)
WriteLn(7 \ (-2))
WriteLn(7 Mod (-2))
WriteLn(-7 \ (-2))
WriteLn(-7 Mod (-2))
WriteLn(-8 Mod 4)
WriteLn(0 \ 5)
line = ""
For a = -4 To 4
  line = line & IntToStr(a \ 3) & "/" & IntToStr(a Mod 3) & " "
Next
WriteLn(line)
WriteLn(2 + 3 * 4)
WriteLn((2 + 3) * 4)
WriteLn(10 - 4 - 3)
WriteLn(2 * 3 Mod 4)
WriteLn(100 \ 7 \ 2)
WriteLn(-2 * 3)
WriteLn(-(3 - 5))
WriteLn(-3 + 10)
WriteLn(0xFF + 0x10)
WriteLn(6 Xor 3)
big = 2147483647
WriteLn(big + 1)
WriteLn(big * 2)
WriteLn(-big - 2)
big = 100000
WriteLn(big * 100000)
WriteLn(big * big * 1000)
WriteLn(46341 * 46341)
WriteLn(1 < 2)
WriteLn(2 <= 1)
WriteLn((1 < 2) And (2 < 3))
WriteLn((1 > 2) Or (2 > 3))
WriteLn(Not (1 = 1))
WriteLn((3 > 2) Xor (2 > 1))
