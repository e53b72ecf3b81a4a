' Recursion, every loop kind, try, exit, select case, with, stepped for, ByRef, arrays, strings
Dim i, j, n As Integer
Dim s As String
Dim a[5] As Integer
Dim f As Double

Function Fact(n As Integer) As Integer
  If n <= 1 Then
    Return 1
  End If
  Return n * Fact(n - 1)
End Function

Sub Swap(ByRef x, ByRef y)
  Dim t
  t = x
  x = y
  y = t
End Sub

Function FirstOver(limit As Integer) As Integer
  Dim k As Integer
  For k = 1 To 100
    If k * k > limit Then
      Return k
    End If
  Next
  Return -1
End Function

Sub Guarded
  Try
    WriteLn("guarded body")
    Exit
  Finally
    WriteLn("finally ran")
  End Try
End Sub

WriteLn("fact " & Fact(10))
s = ""
For i = 1 To 10 Step 3
  s = s & i
Next
WriteLn("step " & s)
s = ""
For f = 2 To 0 Step -0.5
  s = s & f & ";"
Next
WriteLn("float step " & s)
i = 0
n = 0
While i < 10
  i = i + 1
  If i Mod 2 = 0 Then Continue
  If i > 7 Then Break
  n = n + i
Wend
WriteLn("while " & n & " " & i)
j = 0
Do
  j = j + 3
Loop Until j > 10
WriteLn("do until " & j)
j = 0
Do
  j = j + 4
Loop While j < 10
WriteLn("do while " & j)
i = 1
j = 2
Swap(i, j)
WriteLn("swap " & i & j)
For i = 0 To 4
  a[i] = i * i
Next
WriteLn("array " & (a[1] + a[4]))
For i = 1 To 4
  Select Case i
  Case 1: WriteLn("select one")
  Case 2, 3: WriteLn("select two or three")
  Case Else: WriteLn("select else " & i)
  End Select
Next
Try
  RaiseException("boom")
  WriteLn("not reached")
Catch
  WriteLn("caught " & ExceptionMessage)
End Try
Guarded
WriteLn("first over " & FirstOver(50))
s = "Hello, world"
WriteLn(UpperCase(Copy(s, 1, 5)) & " " & Pos("world", s) & " " & Length(s))
WriteLn(7 / 2)
WriteLn(7 \ 2)
Dim sl As TStringList
sl = New TStringList
With sl
  Add("alpha")
  Add("beta")
  WriteLn("with count " & Count)
End With
sl.Free
