// Factorial, Ackermann, greatest common divisor and power, all recursive
function Fact(n) {
  if (n <= 1) return 1;
  return n * Fact(n - 1);
}

function Ack(m, n) {
  if (m == 0) return n + 1;
  if (n == 0) return Ack(m - 1, 1);
  return Ack(m - 1, Ack(m, n - 1));
}

function Gcd(a, b) {
  if (b == 0) return a;
  return Gcd(b, a % b);
}

function Power(x, n) {
  var half;
  if (n == 0) return 1;
  half = Power(x, (n - n % 2) / 2);
  if ((n % 2) == 0) return half * half;
  return half * half * x;
}

function Digits(n) {
  if (n < 10) return IntToStr(n);
  return Digits((n - n % 10) / 10) + "-" + IntToStr(n % 10);
}

var i;
for (i = 1; i <= 12; i++)
  WriteLn(IntToStr(i) + "! = " + IntToStr(Fact(i)));
WriteLn(Ack(0, 0));
WriteLn(Ack(1, 2));
WriteLn(Ack(2, 3));
WriteLn(Ack(3, 3));
WriteLn(Gcd(1071, 462));
WriteLn(Gcd(17, 5));
WriteLn(Power(3, 13));
WriteLn(Power(2, 30));
WriteLn(Digits(90210));
