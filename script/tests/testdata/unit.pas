var FromFile: Integer;
begin end.
