// Sieve of Eratosthenes, prime factors, perfect numbers
function Factors(n) {
  var r = "";
  var p = 2;
  while (n > 1) {
    if ((n % p) == 0) {
      if (r != "")
        r = r + "*";
      r = r + IntToStr(p);
      n = n / p;
    } else
      p = p + 1;
  }
  return r;
}

function IsPerfect(n) {
  var d;
  var sum = 0;
  for (d = 1; d <= n - 1; d++)
    if ((n % d) == 0)
      sum = sum + d;
  return sum == n;
}

var composite[201];
var i, j;
for (i = 0; i <= 200; i++)
  composite[i] = false;
for (i = 2; i <= 14; i++)
  if (!composite[i]) {
    j = i * i;
    while (j <= 200) {
      composite[j] = true;
      j = j + i;
    }
  }
var count = 0;
var line = "";
for (i = 2; i <= 200; i++)
  if (!composite[i]) {
    count = count + 1;
    if (i < 60)
      line = line + IntToStr(i) + " ";
  }
WriteLn(line);
WriteLn(count);
WriteLn(Factors(360));
WriteLn(Factors(97));
WriteLn(Factors(1001));
WriteLn(Factors(65536));
line = "";
for (i = 2; i <= 500; i++)
  if (IsPerfect(i))
    line = line + IntToStr(i) + " ";
WriteLn(line);
