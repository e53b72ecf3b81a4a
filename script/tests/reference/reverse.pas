// Reversing texts, palindromes, counting and replacing characters
var
  words: array[0..5] of String;
  i: Integer;

function Reverse(s: String): String;
var
  i: Integer;
begin
  Result := '';
  for i := Length(s) downto 1 do
    Result := Result + Copy(s, i, 1);
end;

function IsPalindrome(s: String): Boolean;
begin
  s := UpperCase(s);
  Result := s = Reverse(s);
end;

function CountOf(c, s: String): Integer;
var
  i: Integer;
begin
  Result := 0;
  for i := 1 to Length(s) do
    if Copy(s, i, 1) = c then
      Result := Result + 1;
end;

function ReplaceAll(s, find, repl: String): String;
var
  p: Integer;
begin
  Result := '';
  p := Pos(find, s);
  while p > 0 do
  begin
    Result := Result + Copy(s, 1, p - 1) + repl;
    s := Copy(s, p + Length(find), Length(s));
    p := Pos(find, s);
  end;
  Result := Result + s;
end;

begin
  words[0] := 'level';
  words[1] := 'Racecar';
  words[2] := 'script';
  words[3] := '';
  words[4] := 'a';
  words[5] := 'abca';
  for i := 0 to 5 do
    WriteLn('"' + Reverse(words[i]) + '" ' + IntToStr(Length(words[i])));
  for i := 0 to 5 do
    WriteLn(IsPalindrome(words[i]));
  WriteLn(CountOf('s', 'mississippi'));
  WriteLn(CountOf('p', 'mississippi'));
  WriteLn(CountOf('z', 'mississippi'));
  WriteLn(ReplaceAll('mississippi', 'ss', 'SS'));
  WriteLn(ReplaceAll('a-b-c', '-', ' + '));
  WriteLn(ReplaceAll('aaaa', 'aa', 'a'));
  WriteLn(Reverse(ReplaceAll('one two three', ' ', '')));
end.
