{ Recursion, every loop kind, try, exit, case, with, var parameters, arrays, sets, strings }
var
  i, j, n: Integer;
  s: String;
  a: array[1..5] of Integer;
  m: array[0..2, 0..1] of Integer;
  f: Double;
  sl: TStringList;

function Fact(n: Integer): Integer;
begin
  if n <= 1 then Result := 1 else Result := n * Fact(n - 1);
end;

procedure Swap(var x, y: Integer);
var t: Integer;
begin
  t := x; x := y; y := t;
end;

function FirstOver(limit: Integer): Integer;
var k: Integer;
begin
  Result := -1;
  for k := 1 to 100 do
    if k * k > limit then
    begin
      Result := k;
      exit;
    end;
end;

procedure Guarded;
begin
  try
    WriteLn('guarded body');
    exit;
    WriteLn('not reached');
  finally
    WriteLn('finally ran');
  end;
end;

begin
  WriteLn('fact ' + IntToStr(Fact(10)));
  s := '';
  for i := 1 to 5 do s := s + IntToStr(i);
  WriteLn('up ' + s);
  s := '';
  for i := 5 downto 1 do s := s + IntToStr(i);
  WriteLn('down ' + s);
  n := 0;
  for i := 5 to 1 do n := n + 1;
  WriteLn('empty for ' + IntToStr(n) + ' ' + IntToStr(i));
  i := 0;
  while i < 10 do
  begin
    i := i + 1;
    if i mod 2 = 0 then continue;
    if i > 7 then break;
    n := n + i;
  end;
  WriteLn('while ' + IntToStr(n) + ' ' + IntToStr(i));
  j := 0;
  repeat
    j := j + 3;
  until j > 10;
  WriteLn('repeat ' + IntToStr(j));
  for i := 1 to 3 do
    for j := 1 to 3 do
    begin
      if j = 2 then break;
      n := n + 100;
    end;
  WriteLn('nested ' + IntToStr(n));
  i := 1; j := 2;
  Swap(i, j);
  WriteLn('swap ' + IntToStr(i) + IntToStr(j));
  for i := 1 to 5 do a[i] := i * i;
  WriteLn('array ' + IntToStr(a[1] + a[5]));
  for i := 0 to 2 do
    for j := 0 to 1 do m[i, j] := i * 10 + j;
  WriteLn('matrix ' + IntToStr(m[2, 1]));
  for i := 1 to 6 do
    case i of
      1: WriteLn('case one');
      2, 3: WriteLn('case two or three');
      4..5: ;
    else
      WriteLn('case else ' + IntToStr(i));
    end;
  if (4 in [1, 3..5]) and not (2 in [1, 3..5]) then WriteLn('sets ok');
  try
    RaiseException('boom');
    WriteLn('not reached');
  except
    WriteLn('caught ' + ExceptionMessage + ' ' + ExceptionClassName);
  end;
  try
    try
      n := 1 div 0;
    finally
      WriteLn('inner finally');
    end;
  except
    WriteLn('outer except ' + ExceptionMessage);
  end;
  Guarded;
  WriteLn('first over ' + IntToStr(FirstOver(50)));
  s := 'Hello, world';
  WriteLn(UpperCase(Copy(s, 1, 5)) + ' ' + IntToStr(Pos('world', s)) + ' ' + IntToStr(Length(s)));
  s[1] := 'J';
  WriteLn(s + ' ' + s[2]);
  f := 7 / 2;
  WriteLn(f);
  WriteLn(7 div 2);
  WriteLn(-7 mod 3);
  WriteLn(IntToStr(Round(2.5)) + ' ' + IntToStr(Round(3.5)) + ' ' + IntToStr(Round(-2.5)) + ' ' + IntToStr(Trunc(-2.7)));
  WriteLn(Round(1099511627776.4));
  WriteLn(Trunc(-1099511627777.9));
  sl := TStringList.Create;
  with sl do
  begin
    Add('alpha');
    Add('beta');
    WriteLn('count ' + IntToStr(Count));
  end;
  sl[1] := 'gamma';
  WriteLn(sl[0] + ' ' + sl.Strings[1] + ' ' + sl.ClassName);
  sl.Free;
end.
