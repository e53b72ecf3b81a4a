' case statements: single values, lists and ranges, else branch, nested in loops
Function DayName(d)
  Dim r
  Select Case d
  Case 1: r = "Sun"
  Case 2: r = "Mon"
  Case 3: r = "Tue"
  Case 4: r = "Wed"
  Case 5: r = "Thu"
  Case 6: r = "Fri"
  Case 7: r = "Sat"
  Case Else: r = "?"
  End Select
  Return r
End Function

Function Grade(score)
  Dim r
  Select Case score \ 10
  Case 10, 9: r = "A"
  Case 8: r = "B"
  Case 7: r = "C"
  Case 5..6: r = "D"
  Case Else: r = "F"
  End Select
  Return r
End Function

Dim i, line
line = ""
For i = 0 To 8
  line = line & DayName(i) & " "
Next
WriteLn(line)
line = ""
For i = 0 To 10
  line = line & Grade(i * 10 + 5) & " "
Next
WriteLn(line)
For i = -1 To 3
  Select Case i
  Case 0:
    WriteLn("zero")
  Case 1:
    WriteLn("one")
    WriteLn("uno")
  Case 2:
  Case Else:
    WriteLn("other " & IntToStr(i))
  End Select
Next
line = ""
For i = 1 To 15
  Select Case i Mod 15
  Case 0: line = line & "FizzBuzz "
  Case 3, 6, 9, 12: line = line & "Fizz "
  Case 5, 10: line = line & "Buzz "
  Case Else: line = line & IntToStr(i) & " "
  End Select
Next
WriteLn(line)
