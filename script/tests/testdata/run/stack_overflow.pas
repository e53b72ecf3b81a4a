function R(n: Integer): Integer;
begin
  if n = 0 then Result := 0 else Result := R(n - 1) + 1;
end;
begin
  WriteLn(R(399));
  WriteLn(R(1000000));
end.
