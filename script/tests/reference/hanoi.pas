// Towers of Hanoi: the moves for four discs and the move counts for up to ten
var
  moves: Integer;
  n: Integer;

procedure Hanoi(n: Integer; src, dst, via: String; print: Boolean);
begin
  if n = 0 then
    exit;
  Hanoi(n - 1, src, via, dst, print);
  moves := moves + 1;
  if print then
    WriteLn('disc ' + IntToStr(n) + ': ' + src + ' -> ' + dst);
  Hanoi(n - 1, via, dst, src, print);
end;

begin
  moves := 0;
  Hanoi(4, 'A', 'C', 'B', True);
  WriteLn(moves);
  for n := 1 to 10 do
  begin
    moves := 0;
    Hanoi(n, 'A', 'C', 'B', False);
    WriteLn(IntToStr(n) + ' discs: ' + IntToStr(moves) + ' moves');
  end;
end.
