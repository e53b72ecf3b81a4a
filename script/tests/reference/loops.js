// Counting loops up and down, while, repeat, break and continue, nested loops
var i, j, n, total, count, line;
total = 0;
for (i = 1; i <= 100; i++)
  total = total + i;
WriteLn(total);
line = "";
for (i = 10; i >= 1; i--)
  line = line + IntToStr(i) + " ";
WriteLn(line);
count = 0;
for (i = 5; i <= 1; i++)
  count = count + 1;
for (i = 1; i <= 1; i++)
  count = count + 10;
WriteLn(count);
n = 1;
line = "";
while (n < 1000) {
  line = line + IntToStr(n) + " ";
  n = n * 2;
}
WriteLn(line);
n = 10;
do {
  n = n + 1;
} while (false);
WriteLn(n);
n = 0;
do {
  n = n + 3;
} while (n <= 20);
WriteLn(n);
line = "";
for (i = 1; i <= 20; i++) {
  if ((i % 3) == 0)
    continue;
  if (i > 14)
    break;
  line = line + IntToStr(i) + ",";
}
WriteLn(line);
line = "";
for (i = 1; i <= 4; i++) {
  for (j = 1; j <= 4; j++) {
    if (j > i)
      break;
    line = line + IntToStr(i * j) + " ";
  }
  line = line + "| ";
}
WriteLn(line);
n = 0;
while (true) {
  n = n + 1;
  if (n * n > 200)
    break;
}
WriteLn(n);
n = 0;
total = 0;
while (n < 10) {
  n = n + 1;
  if ((n % 2) == 1)
    continue;
  total = total + n;
}
WriteLn(total);
n = 0;
count = 0;
do {
  n = n + 1;
  if (n == 3)
    continue;
  count = count + 1;
} while (n < 6);
WriteLn(count);
line = "";
for (i = 3; i >= -3; i--)
  line = line + IntToStr(i * i) + " ";
WriteLn(line);
