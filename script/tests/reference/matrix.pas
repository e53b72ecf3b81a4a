// Two-dimensional arrays: identity, product, transpose, Pascal's triangle
var
  a, b, c: array[0..2, 0..2] of Integer;
  tri: array[0..7, 0..7] of Integer;
  i, j, k, s: Integer;
  line: String;

begin
  for i := 0 to 2 do
    for j := 0 to 2 do
    begin
      a[i, j] := i * 3 + j + 1;
      if i = j then
        b[i, j] := 2
      else
        b[i, j] := 0;
    end;
  b[0, 2] := 1;
  for i := 0 to 2 do
    for j := 0 to 2 do
    begin
      s := 0;
      for k := 0 to 2 do
        s := s + a[i, k] * b[k, j];
      c[i, j] := s;
    end;
  for i := 0 to 2 do
  begin
    line := '';
    for j := 0 to 2 do
      line := line + IntToStr(c[i, j]) + ' ';
    WriteLn(line);
  end;
  for i := 0 to 2 do
  begin
    line := '';
    for j := 0 to 2 do
      line := line + IntToStr(a[j, i]) + ' ';
    WriteLn(line);
  end;
  s := 0;
  for i := 0 to 2 do
    s := s + a[i, i] - a[i, 2 - i];
  WriteLn(s);
  for i := 0 to 7 do
  begin
    tri[i, 0] := 1;
    tri[i, i] := 1;
    for j := 1 to i - 1 do
      tri[i, j] := tri[i - 1, j - 1] + tri[i - 1, j];
    line := '';
    for j := 0 to i do
      line := line + IntToStr(tri[i, j]) + ' ';
    WriteLn(line);
  end;
end.
