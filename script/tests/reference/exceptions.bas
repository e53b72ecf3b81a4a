' try/except with RaiseException, try/finally order, nesting, raising from deep calls
Sub Check(n)
  If n = 0 Then RaiseException("reached zero")
  Check(n - 1)
  WriteLn("never printed")
End Sub

Function Safe(a, b)
  Dim r
  r = "none"
  Try
    If b = 0 Then RaiseException("division of " & IntToStr(a) & " by zero")
    r = IntToStr(a \ b)
  Catch
    r = "error: " & ExceptionMessage
  End Try
  Return r
End Function

Dim i, reached
Try
  RaiseException("first")
  WriteLn("not here")
Catch
  WriteLn("caught: " & ExceptionMessage)
  WriteLn(ExceptionClassName)
End Try
WriteLn("a")
Try
  WriteLn("b")
Finally
  WriteLn("c")
End Try
WriteLn("d")
Try
  Try
    WriteLn("inner body")
    RaiseException("inner")
  Finally
    WriteLn("cleanup")
  End Try
  WriteLn("skipped")
Catch
  WriteLn("outer caught " & ExceptionMessage)
End Try
Try
  Try
    RaiseException("x")
  Catch
    RaiseException("wrapped: " & ExceptionMessage)
  End Try
Catch
  WriteLn(ExceptionMessage)
End Try
Try
  Check(3)
Catch
  WriteLn("deep: " & ExceptionMessage)
End Try
WriteLn(Safe(10, 3))
WriteLn(Safe(10, 0))
For i = 1 To 5
  Try
    If i Mod 2 = 0 Then RaiseException("even " & IntToStr(i))
    WriteLn("odd " & IntToStr(i))
  Catch
    WriteLn(ExceptionMessage)
  End Try
Next
reached = False
Try
  Try
    Try
      RaiseException("three levels")
    Finally
      WriteLn("finally 1")
    End Try
  Finally
    WriteLn("finally 2")
  End Try
  reached = True
Catch
  WriteLn("outermost: " & ExceptionMessage)
End Try
WriteLn(reached)
