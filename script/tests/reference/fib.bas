' Recursive and iterative Fibonacci numbers
Function Fib(n)
  If n < 2 Then Return n
  Return Fib(n - 1) + Fib(n - 2)
End Function

Dim line As String
Dim i, a, b, t
line = ""
For i = 0 To 15
  line = line & IntToStr(Fib(i)) & " "
Next
WriteLn(line)
a = 0
b = 1
For i = 1 To 45
  t = a + b
  a = b
  b = t
Next
WriteLn(a)
WriteLn(Fib(20))
