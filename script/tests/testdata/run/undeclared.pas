var i: Integer;
begin
  i := 1;
  j := 2;
end.
