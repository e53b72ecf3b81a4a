// Sieve of Eratosthenes, prime factors, perfect numbers
var
  composite: array[0..200] of Boolean;
  i, j, count: Integer;
  line: String;

function Factors(n: Integer): String;
var
  p: Integer;
begin
  Result := '';
  p := 2;
  while n > 1 do
  begin
    if n mod p = 0 then
    begin
      if Result <> '' then
        Result := Result + '*';
      Result := Result + IntToStr(p);
      n := n div p;
    end
    else
      p := p + 1;
  end;
end;

function IsPerfect(n: Integer): Boolean;
var
  d, sum: Integer;
begin
  sum := 0;
  for d := 1 to n - 1 do
    if n mod d = 0 then
      sum := sum + d;
  Result := sum = n;
end;

begin
  for i := 0 to 200 do
    composite[i] := False;
  for i := 2 to 14 do
    if not composite[i] then
    begin
      j := i * i;
      while j <= 200 do
      begin
        composite[j] := True;
        j := j + i;
      end;
    end;
  count := 0;
  line := '';
  for i := 2 to 200 do
    if not composite[i] then
    begin
      count := count + 1;
      if i < 60 then
        line := line + IntToStr(i) + ' ';
    end;
  WriteLn(line);
  WriteLn(count);
  WriteLn(Factors(360));
  WriteLn(Factors(97));
  WriteLn(Factors(1001));
  WriteLn(Factors(65536));
  line := '';
  for i := 2 to 500 do
    if IsPerfect(i) then
      line := line + IntToStr(i) + ' ';
  WriteLn(line);
end.
