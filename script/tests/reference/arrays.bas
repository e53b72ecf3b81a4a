' Arrays: fill, sum, minimum and maximum, bubble sort, binary search
Dim a[10]
Dim i, j, t, sum, lo, hi, mid, key, line, swapped

Function Show()
  Dim r, k
  r = ""
  For k = 0 To 9
    r = r & IntToStr(a[k]) & " "
  Next
  Return r
End Function

For i = 0 To 9
  a[i] = (i * 7 + 3) Mod 10 - 4
Next
WriteLn(Show())
sum = 0
lo = a[0]
hi = a[0]
For i = 0 To 9
  sum = sum + a[i]
  If a[i] < lo Then lo = a[i]
  If a[i] > hi Then hi = a[i]
Next
WriteLn(sum)
WriteLn(IntToStr(lo) & ".." & IntToStr(hi))
For i = 0 To 8
  swapped = False
  For j = 0 To 8 - i
    If a[j] > a[j + 1] Then
      t = a[j]
      a[j] = a[j + 1]
      a[j + 1] = t
      swapped = True
    End If
  Next
  If Not swapped Then Break
Next
WriteLn(Show())
line = ""
For key = -5 To 6
  lo = 0
  hi = 9
  mid = -1
  While lo <= hi
    mid = (lo + hi) \ 2
    If a[mid] = key Then Break
    If a[mid] < key Then
      lo = mid + 1
    Else
      hi = mid - 1
    End If
  Wend
  If lo <= hi Then
    line = line & IntToStr(key) & "@" & IntToStr(mid) & " "
  Else
    line = line & IntToStr(key) & "? "
  End If
Next
WriteLn(line)
For i = 0 To 4
  t = a[i]
  a[i] = a[9 - i]
  a[9 - i] = t
Next
WriteLn(Show())
