// Arrays: fill, sum, minimum and maximum, bubble sort, binary search
var
  a: array[0..9] of Integer;
  i, j, t, sum, lo, hi, mid, key: Integer;
  line: String;
  swapped: Boolean;

function Show: String;
var
  k: Integer;
begin
  Result := '';
  for k := 0 to 9 do
    Result := Result + IntToStr(a[k]) + ' ';
end;

begin
  for i := 0 to 9 do
    a[i] := (i * 7 + 3) mod 10 - 4;
  WriteLn(Show);
  sum := 0;
  lo := a[0];
  hi := a[0];
  for i := 0 to 9 do
  begin
    sum := sum + a[i];
    if a[i] < lo then
      lo := a[i];
    if a[i] > hi then
      hi := a[i];
  end;
  WriteLn(sum);
  WriteLn(IntToStr(lo) + '..' + IntToStr(hi));
  for i := 0 to 8 do
  begin
    swapped := False;
    for j := 0 to 8 - i do
      if a[j] > a[j + 1] then
      begin
        t := a[j];
        a[j] := a[j + 1];
        a[j + 1] := t;
        swapped := True;
      end;
    if not swapped then
      break;
  end;
  WriteLn(Show);
  line := '';
  for key := -5 to 6 do
  begin
    lo := 0;
    hi := 9;
    mid := -1;
    while lo <= hi do
    begin
      mid := (lo + hi) div 2;
      if a[mid] = key then
        break;
      if a[mid] < key then
        lo := mid + 1
      else
        hi := mid - 1;
    end;
    if lo <= hi then
      line := line + IntToStr(key) + '@' + IntToStr(mid) + ' '
    else
      line := line + IntToStr(key) + '? ';
  end;
  WriteLn(line);
  for i := 0 to 4 do
  begin
    t := a[i];
    a[i] := a[9 - i];
    a[9 - i] := t;
  end;
  WriteLn(Show);
end.
