// Recursive and iterative Fibonacci numbers
var
  i: Integer;
  a, b, t: Integer;
  line: String;

function Fib(n: Integer): Integer;
begin
  if n < 2 then
    Result := n
  else
    Result := Fib(n - 1) + Fib(n - 2);
end;

begin
  line := '';
  for i := 0 to 15 do
    line := line + IntToStr(Fib(i)) + ' ';
  WriteLn(line);
  a := 0;
  b := 1;
  for i := 1 to 45 do
  begin
    t := a + b;
    a := b;
    b := t;
  end;
  WriteLn(a);
  WriteLn(Fib(20));
end.
