// Collatz sequences, base conversion, Roman numerals, digit sums, integer square roots
function Half(n) {
  return (n - n % 2) / 2;
}

function CollatzLength(n) {
  var r = 1;
  while (n != 1) {
    if ((n % 2) == 0)
      n = Half(n);
    else
      n = 3 * n + 1;
    r = r + 1;
  }
  return r;
}

function ToBase(n, base) {
  var digits = "0123456789ABCDEF";
  var r = "";
  if (n == 0) return "0";
  while (n > 0) {
    r = Copy(digits, n % base + 1, 1) + r;
    n = (n - n % base) / base;
  }
  return r;
}

function Roman(n) {
  var k;
  var values[13];
  var symbols[13];
  var r = "";
  values[0] = 1000; symbols[0] = "M";
  values[1] = 900; symbols[1] = "CM";
  values[2] = 500; symbols[2] = "D";
  values[3] = 400; symbols[3] = "CD";
  values[4] = 100; symbols[4] = "C";
  values[5] = 90; symbols[5] = "XC";
  values[6] = 50; symbols[6] = "L";
  values[7] = 40; symbols[7] = "XL";
  values[8] = 10; symbols[8] = "X";
  values[9] = 9; symbols[9] = "IX";
  values[10] = 5; symbols[10] = "V";
  values[11] = 4; symbols[11] = "IV";
  values[12] = 1; symbols[12] = "I";
  for (k = 0; k <= 12; k++)
    while (n >= values[k]) {
      r = r + symbols[k];
      n = n - values[k];
    }
  return r;
}

function DigitSum(n) {
  var r = 0;
  do {
    r = r + n % 10;
    n = (n - n % 10) / 10;
  } while (n != 0);
  return r;
}

function ISqrt(n) {
  var x = n;
  var y = Half(x + 1);
  while (y < x) {
    x = y;
    y = Half(x + (n - n % x) / x);
  }
  return x;
}

var i, len, line;
var best = 0;
var bestLen = 0;
for (i = 1; i <= 100; i++) {
  len = CollatzLength(i);
  if (len > bestLen) {
    best = i;
    bestLen = len;
  }
}
WriteLn(IntToStr(best) + " takes " + IntToStr(bestLen) + " steps");
WriteLn(CollatzLength(27));
WriteLn(ToBase(255, 2) + " " + ToBase(255, 16) + " " + ToBase(0, 8) + " " + ToBase(2024, 8));
line = "";
for (i = 1; i <= 12; i++)
  line = line + Roman(i) + " ";
WriteLn(line);
WriteLn(Roman(1994) + " " + Roman(2024) + " " + Roman(3999));
WriteLn(DigitSum(0) + DigitSum(9875) * 1000);
line = "";
for (i = 0; i <= 10; i++)
  line = line + IntToStr(ISqrt(i * i * 7 + 1)) + " ";
WriteLn(line);
WriteLn(ISqrt(2147395600));
