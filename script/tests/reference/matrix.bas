' Two-dimensional arrays: identity, product, transpose, Pascal's triangle
Dim a[3, 3], b[3, 3], c[3, 3], tri[8, 8]
Dim i, j, k, s, line
For i = 0 To 2
  For j = 0 To 2
    a[i, j] = i * 3 + j + 1
    If i = j Then
      b[i, j] = 2
    Else
      b[i, j] = 0
    End If
  Next
Next
b[0, 2] = 1
For i = 0 To 2
  For j = 0 To 2
    s = 0
    For k = 0 To 2
      s = s + a[i, k] * b[k, j]
    Next
    c[i, j] = s
  Next
Next
For i = 0 To 2
  line = ""
  For j = 0 To 2
    line = line & IntToStr(c[i, j]) & " "
  Next
  WriteLn(line)
Next
For i = 0 To 2
  line = ""
  For j = 0 To 2
    line = line & IntToStr(a[j, i]) & " "
  Next
  WriteLn(line)
Next
s = 0
For i = 0 To 2
  s = s + a[i, i] - a[i, 2 - i]
Next
WriteLn(s)
For i = 0 To 7
  tri[i, 0] = 1
  tri[i, i] = 1
  For j = 1 To i - 1
    tri[i, j] = tri[i - 1, j - 1] + tri[i - 1, j]
  Next
  line = ""
  For j = 0 To i
    line = line & IntToStr(tri[i, j]) & " "
  Next
  WriteLn(line)
Next
