// Factorial, Ackermann, greatest common divisor and power, all recursive
int i;

int Fact(int n) {
  if (n <= 1) return 1;
  return n * Fact(n - 1);
}

int Ack(int m, int n) {
  if (m == 0) return n + 1;
  if (n == 0) return Ack(m - 1, 1);
  return Ack(m - 1, Ack(m, n - 1));
}

int Gcd(int a, int b) {
  if (b == 0) return a;
  return Gcd(b, a % b);
}

int Power(int x, int n) {
  int half;
  if (n == 0) return 1;
  half = Power(x, n div 2);
  if ((n % 2) == 0) return half * half;
  return half * half * x;
}

string Digits(int n) {
  if (n < 10) return IntToStr(n);
  return Digits(n div 10) + "-" + IntToStr(n % 10);
}

{
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
}
