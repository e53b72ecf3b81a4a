// A var parameter handed on through recursion: every level adds to the caller's variable
var
  total, depth: Integer;
  path: String;

procedure Accumulate(n: Integer; var sum: Integer);
begin
  if n = 0 then
    exit;
  sum := sum + n;
  Accumulate(n - 1, sum);
end;

procedure Walk(level: Integer; var trail: String; var deepest: Integer);
begin
  trail := trail + IntToStr(level);
  if level > deepest then
    deepest := level;
  if level < 4 then
    Walk(level + 1, trail, deepest);
  trail := trail + '.';
end;

begin
  total := 0;
  Accumulate(10, total);
  WriteLn(total);
  path := '';
  depth := 0;
  Walk(1, path, depth);
  WriteLn(path);
  WriteLn(depth);
end.
