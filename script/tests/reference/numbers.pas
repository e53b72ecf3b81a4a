// Collatz sequences, base conversion, Roman numerals, digit sums, integer square roots
var
  i, best, bestLen, len: Integer;
  line: String;

function CollatzLength(n: Integer): Integer;
begin
  Result := 1;
  while n <> 1 do
  begin
    if n mod 2 = 0 then
      n := n div 2
    else
      n := 3 * n + 1;
    Result := Result + 1;
  end;
end;

function ToBase(n, base: Integer): String;
const
  Digits = '0123456789ABCDEF';
begin
  if n = 0 then
  begin
    Result := '0';
    exit;
  end;
  Result := '';
  while n > 0 do
  begin
    Result := Copy(Digits, n mod base + 1, 1) + Result;
    n := n div base;
  end;
end;

function Roman(n: Integer): String;
var
  k: Integer;
  values: array[0..12] of Integer;
  symbols: array[0..12] of String;
begin
  values[0] := 1000; symbols[0] := 'M';
  values[1] := 900; symbols[1] := 'CM';
  values[2] := 500; symbols[2] := 'D';
  values[3] := 400; symbols[3] := 'CD';
  values[4] := 100; symbols[4] := 'C';
  values[5] := 90; symbols[5] := 'XC';
  values[6] := 50; symbols[6] := 'L';
  values[7] := 40; symbols[7] := 'XL';
  values[8] := 10; symbols[8] := 'X';
  values[9] := 9; symbols[9] := 'IX';
  values[10] := 5; symbols[10] := 'V';
  values[11] := 4; symbols[11] := 'IV';
  values[12] := 1; symbols[12] := 'I';
  Result := '';
  for k := 0 to 12 do
    while n >= values[k] do
    begin
      Result := Result + symbols[k];
      n := n - values[k];
    end;
end;

function DigitSum(n: Integer): Integer;
begin
  Result := 0;
  repeat
    Result := Result + n mod 10;
    n := n div 10;
  until n = 0;
end;

function ISqrt(n: Integer): Integer;
var
  x, y: Integer;
begin
  x := n;
  y := (x + 1) div 2;
  while y < x do
  begin
    x := y;
    y := (x + n div x) div 2;
  end;
  Result := x;
end;

begin
  best := 0;
  bestLen := 0;
  for i := 1 to 100 do
  begin
    len := CollatzLength(i);
    if len > bestLen then
    begin
      best := i;
      bestLen := len;
    end;
  end;
  WriteLn(IntToStr(best) + ' takes ' + IntToStr(bestLen) + ' steps');
  WriteLn(CollatzLength(27));
  WriteLn(ToBase(255, 2) + ' ' + ToBase(255, 16) + ' ' + ToBase(0, 8) + ' ' + ToBase(2024, 8));
  line := '';
  for i := 1 to 12 do
    line := line + Roman(i) + ' ';
  WriteLn(line);
  WriteLn(Roman(1994) + ' ' + Roman(2024) + ' ' + Roman(3999));
  WriteLn(DigitSum(0) + DigitSum(9875) * 1000);
  line := '';
  for i := 0 to 10 do
    line := line + IntToStr(ISqrt(i * i * 7 + 1)) + ' ';
  WriteLn(line);
  WriteLn(ISqrt(2147395600));
end.
