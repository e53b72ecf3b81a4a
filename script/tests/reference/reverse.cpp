// Reversing texts, palindromes, counting and replacing characters
string words[6];
int i;

string Reverse(string s) {
  string r;
  int i;
  r = "";
  for (i = Length(s); i >= 1; i--)
    r = r + Copy(s, i, 1);
  return r;
}

bool IsPalindrome(string s) {
  s = UpperCase(s);
  return s == Reverse(s);
}

int CountOf(string c, string s) {
  int i, n;
  n = 0;
  for (i = 1; i <= Length(s); i++)
    if (Copy(s, i, 1) == c)
      n = n + 1;
  return n;
}

string ReplaceAll(string s, string find, string repl) {
  string r;
  int p;
  r = "";
  p = Pos(find, s);
  while (p > 0) {
    r = r + Copy(s, 1, p - 1) + repl;
    s = Copy(s, p + Length(find), Length(s));
    p = Pos(find, s);
  }
  return r + s;
}

{
  words[0] = "level";
  words[1] = "Racecar";
  words[2] = "script";
  words[3] = "";
  words[4] = "a";
  words[5] = "abca";
  for (i = 0; i <= 5; i++)
    WriteLn("\"" + Reverse(words[i]) + "\" " + IntToStr(Length(words[i])));
  for (i = 0; i <= 5; i++)
    WriteLn(IsPalindrome(words[i]));
  WriteLn(CountOf("s", "mississippi"));
  WriteLn(CountOf("p", "mississippi"));
  WriteLn(CountOf("z", "mississippi"));
  WriteLn(ReplaceAll("mississippi", "ss", "SS"));
  WriteLn(ReplaceAll("a-b-c", "-", " + "));
  WriteLn(ReplaceAll("aaaa", "aa", "a"));
  WriteLn(Reverse(ReplaceAll("one two three", " ", "")));
}
