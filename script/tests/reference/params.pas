// Procedures and functions: var parameters, value parameters, locals shadowing globals
var
  a, b, q, r, x: Integer;
  s: String;

procedure Swap(var p, q: Integer);
var
  t: Integer;
begin
  t := p;
  p := q;
  q := t;
end;

procedure DivMod(n, d: Integer; var quot, rem: Integer);
begin
  quot := n div d;
  rem := n mod d;
end;


procedure Append(var text: String; const part: String);
begin
  if text <> '' then
    text := text + ', ';
  text := text + part;
end;

function Twice(n: Integer): Integer;
begin
  n := n * 2;
  Result := n;
end;

function Shadow: Integer;
var
  x: Integer;
begin
  x := 5;
  Result := x * 10;
end;

begin
  a := 1;
  b := 2;
  Swap(a, b);
  WriteLn(IntToStr(a) + ' ' + IntToStr(b));
  DivMod(47, 5, q, r);
  WriteLn(IntToStr(q) + ' r ' + IntToStr(r));
  DivMod(-47, 5, q, r);
  WriteLn(IntToStr(q) + ' r ' + IntToStr(r));
  s := '';
  Append(s, 'red');
  Append(s, 'green');
  Append(s, 'blue');
  WriteLn(s);
  x := 7;
  WriteLn(Twice(x));
  WriteLn(x);
  WriteLn(Shadow);
  WriteLn(x);
  WriteLn(Twice(Twice(Twice(1))));
end.
