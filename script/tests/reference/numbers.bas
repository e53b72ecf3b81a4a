' Collatz sequences, base conversion, Roman numerals, digit sums, integer square roots
Function CollatzLength(n)
  Dim r
  r = 1
  While n <> 1
    If n Mod 2 = 0 Then
      n = n \ 2
    Else
      n = 3 * n + 1
    End If
    r = r + 1
  Wend
  Return r
End Function

Function ToBase(n, base)
  Dim digits, r
  digits = "0123456789ABCDEF"
  If n = 0 Then Return "0"
  r = ""
  While n > 0
    r = Copy(digits, n Mod base + 1, 1) & r
    n = n \ base
  Wend
  Return r
End Function

Function Roman(n)
  Dim k, r
  Dim values[13], symbols[13]
  values[0] = 1000 : symbols[0] = "M"
  values[1] = 900 : symbols[1] = "CM"
  values[2] = 500 : symbols[2] = "D"
  values[3] = 400 : symbols[3] = "CD"
  values[4] = 100 : symbols[4] = "C"
  values[5] = 90 : symbols[5] = "XC"
  values[6] = 50 : symbols[6] = "L"
  values[7] = 40 : symbols[7] = "XL"
  values[8] = 10 : symbols[8] = "X"
  values[9] = 9 : symbols[9] = "IX"
  values[10] = 5 : symbols[10] = "V"
  values[11] = 4 : symbols[11] = "IV"
  values[12] = 1 : symbols[12] = "I"
  r = ""
  For k = 0 To 12
    While n >= values[k]
      r = r & symbols[k]
      n = n - values[k]
    Wend
  Next
  Return r
End Function

Function DigitSum(n)
  Dim r
  r = 0
  Do
    r = r + n Mod 10
    n = n \ 10
  Loop Until n = 0
  Return r
End Function

Function ISqrt(n)
  Dim x, y
  x = n
  y = (x + 1) \ 2
  While y < x
    x = y
    y = (x + n \ x) \ 2
  Wend
  Return x
End Function

Dim i, best, bestLen, len, line
best = 0
bestLen = 0
For i = 1 To 100
  len = CollatzLength(i)
  If len > bestLen Then
    best = i
    bestLen = len
  End If
Next
WriteLn(IntToStr(best) & " takes " & IntToStr(bestLen) & " steps")
WriteLn(CollatzLength(27))
WriteLn(ToBase(255, 2) & " " & ToBase(255, 16) & " " & ToBase(0, 8) & " " & ToBase(2024, 8))
line = ""
For i = 1 To 12
  line = line & Roman(i) & " "
Next
WriteLn(line)
WriteLn(Roman(1994) & " " & Roman(2024) & " " & Roman(3999))
WriteLn(DigitSum(0) + DigitSum(9875) * 1000)
line = ""
For i = 0 To 10
  line = line & IntToStr(ISqrt(i * i * 7 + 1)) & " "
Next
WriteLn(line)
WriteLn(ISqrt(2147395600))
