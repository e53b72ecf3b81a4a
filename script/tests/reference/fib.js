// Recursive and iterative Fibonacci numbers
function Fib(n) {
  if (n < 2) return n;
  return Fib(n - 1) + Fib(n - 2);
}

var line = "";
var i;
for (i = 0; i <= 15; i++)
  line = line + IntToStr(Fib(i)) + " ";
WriteLn(line);
var a = 0;
var b = 1;
var t;
for (i = 1; i <= 45; i++) {
  t = a + b;
  a = b;
  b = t;
}
WriteLn(a);
WriteLn(Fib(20));
