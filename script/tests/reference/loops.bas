' Counting loops up and down, while, repeat, break and continue, nested loops
Dim i, j, n, total, count, line
total = 0
For i = 1 To 100
  total = total + i
Next
WriteLn(total)
line = ""
For i = 10 To 1 Step -1
  line = line & IntToStr(i) & " "
Next
WriteLn(line)
count = 0
For i = 5 To 1
  count = count + 1
Next
For i = 1 To 1
  count = count + 10
Next
WriteLn(count)
n = 1
line = ""
While n < 1000
  line = line & IntToStr(n) & " "
  n = n * 2
Wend
WriteLn(line)
n = 10
Do
  n = n + 1
Loop Until True
WriteLn(n)
n = 0
Do
  n = n + 3
Loop While n <= 20
WriteLn(n)
line = ""
For i = 1 To 20
  If i Mod 3 = 0 Then Continue
  If i > 14 Then Break
  line = line & IntToStr(i) & ","
Next
WriteLn(line)
line = ""
For i = 1 To 4
  For j = 1 To 4
    If j > i Then Break
    line = line & IntToStr(i * j) & " "
  Next
  line = line & "| "
Next
WriteLn(line)
n = 0
While True
  n = n + 1
  If n * n > 200 Then Break
Wend
WriteLn(n)
n = 0
total = 0
While n < 10
  n = n + 1
  If n Mod 2 = 1 Then Continue
  total = total + n
Wend
WriteLn(total)
n = 0
count = 0
Do
  n = n + 1
  If n = 3 Then Continue
  count = count + 1
Loop Until n >= 6
WriteLn(count)
line = ""
For i = 3 To -3 Step -1
  line = line & IntToStr(i * i) & " "
Next
WriteLn(line)
