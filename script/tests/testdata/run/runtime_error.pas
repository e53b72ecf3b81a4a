var i: Integer;
procedure Check(n: Integer);
begin
  if n = 3 then
    RaiseException('three is not allowed');
end;
begin
  for i := 1 to 5 do
  begin
    WriteLn(i);
    Check(i);
  end;
end.
