// Concatenation, Length, Copy, Pos and UpperCase; building a text piece by piece
var
  s, t, piece, rest: String;
  i, p: Integer;

begin
  s := 'Hello';
  t := s + ', ' + 'world';
  WriteLn(t);
  WriteLn(Length(t));
  WriteLn(Length(''));
  WriteLn(Copy(t, 1, 5));
  WriteLn(Copy(t, 8, 100));
  WriteLn('[' + Copy(t, 20, 3) + ']');
  WriteLn('[' + Copy(t, 3, 0) + ']');
  WriteLn(Pos('world', t));
  WriteLn(Pos('o', t));
  WriteLn(Pos('xyz', t));
  WriteLn(Pos('H', t));
  WriteLn(UpperCase(t));
  WriteLn(UpperCase('abc-XYZ 123'));
  t := '';
  for i := 1 to 5 do
    t := t + IntToStr(i * i) + ';';
  WriteLn(t);
  // split on ';'
  rest := t;
  p := Pos(';', rest);
  while p > 0 do
  begin
    piece := Copy(rest, 1, p - 1);
    rest := Copy(rest, p + 1, Length(rest));
    WriteLn('<' + piece + '> ' + IntToStr(Length(rest)));
    p := Pos(';', rest);
  end;
  WriteLn(s = 'Hello');
  WriteLn(s < 'Help');
  WriteLn('B' < 'a');
  WriteLn('abc' <> 'abd');
  s := '';
  for i := 1 to 3 do
    s := s + s + IntToStr(i);
  WriteLn(s);
  WriteLn('it''s');
end.
