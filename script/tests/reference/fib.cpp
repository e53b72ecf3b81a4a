// Recursive and iterative Fibonacci numbers
int i, a, b, t;
string line;

int Fib(int n) {
  if (n < 2) return n;
  return Fib(n - 1) + Fib(n - 2);
}

{
  line = "";
  for (i = 0; i <= 15; i++)
    line = line + IntToStr(Fib(i)) + " ";
  WriteLn(line);
  a = 0;
  b = 1;
  for (i = 1; i <= 45; i++) {
    t = a + b;
    a = b;
    b = t;
  }
  WriteLn(a);
  WriteLn(Fib(20));
}
