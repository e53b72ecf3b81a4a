// Reversing texts, palindromes, counting and replacing characters
function Reverse(s) {
  var r = "";
  var i;
  for (i = Length(s); i >= 1; i--)
    r = r + Copy(s, i, 1);
  return r;
}

function IsPalindrome(s) {
  s = UpperCase(s);
  return s == Reverse(s);
}

function CountOf(c, s) {
  var n = 0;
  var i;
  for (i = 1; i <= Length(s); i++)
    if (Copy(s, i, 1) == c)
      n = n + 1;
  return n;
}

function ReplaceAll(s, find, repl) {
  var r = "";
  var p = Pos(find, s);
  while (p > 0) {
    r = r + Copy(s, 1, p - 1) + repl;
    s = Copy(s, p + Length(find), Length(s));
    p = Pos(find, s);
  }
  return r + s;
}

var words[6];
var i;
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
