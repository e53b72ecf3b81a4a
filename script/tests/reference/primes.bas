' Sieve of Eratosthenes, prime factors, perfect numbers
Function Factors(n)
  Dim r, p
  r = ""
  p = 2
  While n > 1
    If n Mod p = 0 Then
      If r <> "" Then r = r & "*"
      r = r & IntToStr(p)
      n = n \ p
    Else
      p = p + 1
    End If
  Wend
  Return r
End Function

Function IsPerfect(n)
  Dim d, sum
  sum = 0
  For d = 1 To n - 1
    If n Mod d = 0 Then sum = sum + d
  Next
  Return sum = n
End Function

Dim composite[201]
Dim i, j, count, line
For i = 0 To 200
  composite[i] = False
Next
For i = 2 To 14
  If Not composite[i] Then
    j = i * i
    While j <= 200
      composite[j] = True
      j = j + i
    Wend
  End If
Next
count = 0
line = ""
For i = 2 To 200
  If Not composite[i] Then
    count = count + 1
    If i < 60 Then line = line & IntToStr(i) & " "
  End If
Next
WriteLn(line)
WriteLn(count)
WriteLn(Factors(360))
WriteLn(Factors(97))
WriteLn(Factors(1001))
WriteLn(Factors(65536))
line = ""
For i = 2 To 500
  If IsPerfect(i) Then line = line & IntToStr(i) & " "
Next
WriteLn(line)
