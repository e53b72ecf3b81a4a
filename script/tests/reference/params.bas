' Procedures and functions: var parameters, value parameters, locals shadowing globals
Dim a, b, q, r, x, s

Sub Swap(ByRef p, ByRef q)
  Dim t
  t = p
  p = q
  q = t
End Sub

Sub DivMod(n, d, ByRef quot, ByRef modulo)
  quot = n \ d
  modulo = n Mod d
End Sub


Sub Append(ByRef text, part)
  If text <> "" Then text = text & ", "
  text = text & part
End Sub

Function Twice(n)
  n = n * 2
  Return n
End Function

Function Shadow()
  Dim x
  x = 5
  Return x * 10
End Function

a = 1
b = 2
Swap(a, b)
WriteLn(IntToStr(a) & " " & IntToStr(b))
DivMod(47, 5, q, r)
WriteLn(IntToStr(q) & " r " & IntToStr(r))
DivMod(-47, 5, q, r)
WriteLn(IntToStr(q) & " r " & IntToStr(r))
s = ""
Append(s, "red")
Append(s, "green")
Append(s, "blue")
WriteLn(s)
x = 7
WriteLn(Twice(x))
WriteLn(x)
WriteLn(Shadow())
WriteLn(x)
WriteLn(Twice(Twice(Twice(1))))
