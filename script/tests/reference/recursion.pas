// Factorial, Ackermann, greatest common divisor and power, all recursive
var
  i: Integer;

function Fact(n: Integer): Integer;
begin
  if n <= 1 then
    Result := 1
  else
    Result := n * Fact(n - 1);
end;

function Ack(m, n: Integer): Integer;
begin
  if m = 0 then
    Result := n + 1
  else if n = 0 then
    Result := Ack(m - 1, 1)
  else
    Result := Ack(m - 1, Ack(m, n - 1));
end;

function Gcd(a, b: Integer): Integer;
begin
  if b = 0 then
    Result := a
  else
    Result := Gcd(b, a mod b);
end;

function Power(x, n: Integer): Integer;
var
  half: Integer;
begin
  if n = 0 then
  begin
    Result := 1;
    exit;
  end;
  half := Power(x, n div 2);
  if n mod 2 = 0 then
    Result := half * half
  else
    Result := half * half * x;
end;

function Digits(n: Integer): String;
begin
  if n < 10 then
    Result := IntToStr(n)
  else
    Result := Digits(n div 10) + '-' + IntToStr(n mod 10);
end;

begin
  for i := 1 to 12 do
    WriteLn(IntToStr(i) + '! = ' + IntToStr(Fact(i)));
  WriteLn(Ack(0, 0));
  WriteLn(Ack(1, 2));
  WriteLn(Ack(2, 3));
  WriteLn(Ack(3, 3));
  WriteLn(Gcd(1071, 462));
  WriteLn(Gcd(17, 5));
  WriteLn(Power(3, 13));
  WriteLn(Power(2, 30));
  WriteLn(Digits(90210));
end.
