' Concatenation, Length, Copy, Pos and UpperCase; building a text piece by piece
Dim s, t, piece, rest, i, p
s = "Hello"
t = s & ", " & "world"
WriteLn(t)
WriteLn(Length(t))
WriteLn(Length(""))
WriteLn(Copy(t, 1, 5))
WriteLn(Copy(t, 8, 100))
WriteLn("[" & Copy(t, 20, 3) & "]")
WriteLn("[" & Copy(t, 3, 0) & "]")
WriteLn(Pos("world", t))
WriteLn(Pos("o", t))
WriteLn(Pos("xyz", t))
WriteLn(Pos("H", t))
WriteLn(UpperCase(t))
WriteLn(UpperCase("abc-XYZ 123"))
t = ""
For i = 1 To 5
  t = t & IntToStr(i * i) & ";"
Next
WriteLn(t)
' split on ';'
rest = t
p = Pos(";", rest)
While p > 0
  piece = Copy(rest, 1, p - 1)
  rest = Copy(rest, p + 1, Length(rest))
  WriteLn("<" & piece & "> " & IntToStr(Length(rest)))
  p = Pos(";", rest)
Wend
WriteLn(s = "Hello")
WriteLn(s < "Help")
WriteLn("B" < "a")
WriteLn("abc" <> "abd")
s = ""
For i = 1 To 3
  s = s & s & IntToStr(i)
Next
WriteLn(s)
WriteLn("it's")
