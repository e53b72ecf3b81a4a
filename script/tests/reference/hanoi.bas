' Towers of Hanoi: the moves for four discs and the move counts for up to ten
Dim moves
Sub Hanoi(n, src, dst, via, print)
  If n = 0 Then Exit
  Hanoi(n - 1, src, via, dst, print)
  moves = moves + 1
  If print Then WriteLn("disc " & IntToStr(n) & ": " & src & " -> " & dst)
  Hanoi(n - 1, via, dst, src, print)
End Sub

moves = 0
Hanoi(4, "A", "C", "B", True)
WriteLn(moves)
Dim n
For n = 1 To 10
  moves = 0
  Hanoi(n, "A", "C", "B", False)
  WriteLn(IntToStr(n) & " discs: " & IntToStr(moves) & " moves")
Next
