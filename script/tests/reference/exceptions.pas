// try/except with RaiseException, try/finally order, nesting, raising from deep calls
var
  i: Integer;
  reached: Boolean;

procedure Check(n: Integer);
begin
  if n = 0 then
    RaiseException('reached zero');
  Check(n - 1);
  WriteLn('never printed');
end;

function Safe(a, b: Integer): String;
begin
  Result := 'none';
  try
    if b = 0 then
      RaiseException('division of ' + IntToStr(a) + ' by zero');
    Result := IntToStr(a div b);
  except
    Result := 'error: ' + ExceptionMessage;
  end;
end;

begin
  try
    RaiseException('first');
    WriteLn('not here');
  except
    WriteLn('caught: ' + ExceptionMessage);
    WriteLn(ExceptionClassName);
  end;
  WriteLn('a');
  try
    WriteLn('b');
  finally
    WriteLn('c');
  end;
  WriteLn('d');
  try
    try
      WriteLn('inner body');
      RaiseException('inner');
    finally
      WriteLn('cleanup');
    end;
    WriteLn('skipped');
  except
    WriteLn('outer caught ' + ExceptionMessage);
  end;
  try
    try
      RaiseException('x');
    except
      RaiseException('wrapped: ' + ExceptionMessage);
    end;
  except
    WriteLn(ExceptionMessage);
  end;
  try
    Check(3);
  except
    WriteLn('deep: ' + ExceptionMessage);
  end;
  WriteLn(Safe(10, 3));
  WriteLn(Safe(10, 0));
  for i := 1 to 5 do
  begin
    try
      if i mod 2 = 0 then
        RaiseException('even ' + IntToStr(i));
      WriteLn('odd ' + IntToStr(i));
    except
      WriteLn(ExceptionMessage);
    end;
  end;
  reached := False;
  try
    try
      try
        RaiseException('three levels');
      finally
        WriteLn('finally 1');
      end;
    finally
      WriteLn('finally 2');
    end;
    reached := True;
  except
    WriteLn('outermost: ' + ExceptionMessage);
  end;
  WriteLn(reached);
end.
