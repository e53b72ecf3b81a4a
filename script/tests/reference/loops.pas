// Counting loops up and down, while, repeat, break and continue, nested loops
var
  i, j, n, total, count: Integer;
  line: String;

begin
  total := 0;
  for i := 1 to 100 do
    total := total + i;
  WriteLn(total);
  line := '';
  for i := 10 downto 1 do
    line := line + IntToStr(i) + ' ';
  WriteLn(line);
  count := 0;
  for i := 5 to 1 do
    count := count + 1;
  for i := 1 to 1 do
    count := count + 10;
  WriteLn(count);
  n := 1;
  line := '';
  while n < 1000 do
  begin
    line := line + IntToStr(n) + ' ';
    n := n * 2;
  end;
  WriteLn(line);
  n := 10;
  repeat
    n := n + 1;
  until True;
  WriteLn(n);
  n := 0;
  repeat
    n := n + 3;
  until n > 20;
  WriteLn(n);
  line := '';
  for i := 1 to 20 do
  begin
    if i mod 3 = 0 then
      continue;
    if i > 14 then
      break;
    line := line + IntToStr(i) + ',';
  end;
  WriteLn(line);
  line := '';
  for i := 1 to 4 do
  begin
    for j := 1 to 4 do
    begin
      if j > i then
        break;
      line := line + IntToStr(i * j) + ' ';
    end;
    line := line + '| ';
  end;
  WriteLn(line);
  n := 0;
  while True do
  begin
    n := n + 1;
    if n * n > 200 then
      break;
  end;
  WriteLn(n);
  n := 0;
  total := 0;
  while n < 10 do
  begin
    n := n + 1;
    if n mod 2 = 1 then
      continue;
    total := total + n;
  end;
  WriteLn(total);
  n := 0;
  count := 0;
  repeat
    n := n + 1;
    if n = 3 then
      continue;
    count := count + 1;
  until n >= 6;
  WriteLn(count);
  line := '';
  for i := 3 downto -3 do
    line := line + IntToStr(i * i) + ' ';
  WriteLn(line);
end.
