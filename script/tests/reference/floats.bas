' Floating division and the text of floating values (15 significant digits)
Dim x As Double
Dim i
WriteLn(7 / 2)
WriteLn(1 / 3)
WriteLn(2 / 3)
WriteLn(10 / 4)
WriteLn(-1 / 8)
WriteLn(1 / 7)
WriteLn(100 / 7)
WriteLn(6 / 3)
WriteLn(0.1 + 0.2)
WriteLn(0.1 + 0.2 = 0.3)
WriteLn(1.5 * 4)
WriteLn(2.5 + 0.25)
WriteLn(3.0 - 3)
WriteLn(-0.5)
WriteLn(1 / 1024)
WriteLn(0.0001)
WriteLn(0.00002)
WriteLn(-0.000015)
WriteLn(0.000001)
WriteLn(0.0000025)
WriteLn(1000000.0 * 1000000000.0)
WriteLn(123456789.0 * 1000000.0)
WriteLn(1234567.0 * 1000000000000.0)
x = 0
For i = 1 To 10
  x = x + 0.1
Next
WriteLn(x)
WriteLn(x = 1)
x = 1
For i = 1 To 5
  x = x * 1.5
Next
WriteLn(x)
x = 2
For i = 1 To 4
  x = x * x
Next
WriteLn(x)
WriteLn(x / 3)
WriteLn(-x / 7)
