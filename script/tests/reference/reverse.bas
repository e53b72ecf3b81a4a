' Reversing texts, palindromes, counting and replacing characters
Function Reverse(s)
  Dim r, i
  r = ""
  For i = Length(s) To 1 Step -1
    r = r & Copy(s, i, 1)
  Next
  Return r
End Function

Function IsPalindrome(s)
  s = UpperCase(s)
  Return s = Reverse(s)
End Function

Function CountOf(c, s)
  Dim n, i
  n = 0
  For i = 1 To Length(s)
    If Copy(s, i, 1) = c Then n = n + 1
  Next
  Return n
End Function

Function ReplaceAll(s, find, repl)
  Dim r, p
  r = ""
  p = Pos(find, s)
  While p > 0
    r = r & Copy(s, 1, p - 1) & repl
    s = Copy(s, p + Length(find), Length(s))
    p = Pos(find, s)
  Wend
  Return r & s
End Function

Dim words[6]
Dim i
words[0] = "level"
words[1] = "Racecar"
words[2] = "script"
words[3] = ""
words[4] = "a"
words[5] = "abca"
For i = 0 To 5
  WriteLn("""" & Reverse(words[i]) & """ " & IntToStr(Length(words[i])))
Next
For i = 0 To 5
  WriteLn(IsPalindrome(words[i]))
Next
WriteLn(CountOf("s", "mississippi"))
WriteLn(CountOf("p", "mississippi"))
WriteLn(CountOf("z", "mississippi"))
WriteLn(ReplaceAll("mississippi", "ss", "SS"))
WriteLn(ReplaceAll("a-b-c", "-", " + "))
WriteLn(ReplaceAll("aaaa", "aa", "a"))
WriteLn(Reverse(ReplaceAll("one two three", " ", "")))
