' A var parameter handed on through recursion: every level adds to the caller's variable
Dim total, depth, path

Sub Accumulate(n, ByRef sum)
  If n = 0 Then Exit
  sum = sum + n
  Accumulate(n - 1, sum)
End Sub

Sub Walk(level, ByRef trail, ByRef deepest)
  trail = trail & IntToStr(level)
  If level > deepest Then deepest = level
  If level < 4 Then Walk(level + 1, trail, deepest)
  trail = trail & "."
End Sub

total = 0
Accumulate(10, total)
WriteLn(total)
path = ""
depth = 0
Walk(1, path, depth)
WriteLn(path)
WriteLn(depth)
