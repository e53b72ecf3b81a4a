' Factorial, Ackermann, greatest common divisor and power, all recursive
Function Fact(n)
  If n <= 1 Then Return 1
  Return n * Fact(n - 1)
End Function

Function Ack(m, n)
  If m = 0 Then Return n + 1
  If n = 0 Then Return Ack(m - 1, 1)
  Return Ack(m - 1, Ack(m, n - 1))
End Function

Function Gcd(a, b)
  If b = 0 Then Return a
  Return Gcd(b, a Mod b)
End Function

Function Power(x, n)
  Dim half
  If n = 0 Then Return 1
  half = Power(x, n \ 2)
  If n Mod 2 = 0 Then Return half * half
  Return half * half * x
End Function

Function Digits(n)
  If n < 10 Then Return IntToStr(n)
  Return Digits(n \ 10) & "-" & IntToStr(n Mod 10)
End Function

Dim i
For i = 1 To 12
  WriteLn(IntToStr(i) & "! = " & IntToStr(Fact(i)))
Next
WriteLn(Ack(0, 0))
WriteLn(Ack(1, 2))
WriteLn(Ack(2, 3))
WriteLn(Ack(3, 3))
WriteLn(Gcd(1071, 462))
WriteLn(Gcd(17, 5))
WriteLn(Power(3, 13))
WriteLn(Power(2, 30))
WriteLn(Digits(90210))
