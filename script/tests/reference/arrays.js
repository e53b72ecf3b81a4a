// Arrays: fill, sum, minimum and maximum, bubble sort, binary search
var a[10];
var i, j, t, sum, lo, hi, mid, key, line, swapped;

function Show() {
  var r = "";
  var k;
  for (k = 0; k <= 9; k++)
    r = r + IntToStr(a[k]) + " ";
  return r;
}

for (i = 0; i <= 9; i++)
  a[i] = (i * 7 + 3) % 10 - 4;
WriteLn(Show());
sum = 0;
lo = a[0];
hi = a[0];
for (i = 0; i <= 9; i++) {
  sum = sum + a[i];
  if (a[i] < lo)
    lo = a[i];
  if (a[i] > hi)
    hi = a[i];
}
WriteLn(sum);
WriteLn(IntToStr(lo) + ".." + IntToStr(hi));
for (i = 0; i <= 8; i++) {
  swapped = false;
  for (j = 0; j <= 8 - i; j++)
    if (a[j] > a[j + 1]) {
      t = a[j];
      a[j] = a[j + 1];
      a[j + 1] = t;
      swapped = true;
    }
  if (!swapped)
    break;
}
WriteLn(Show());
line = "";
for (key = -5; key <= 6; key++) {
  lo = 0;
  hi = 9;
  mid = -1;
  while (lo <= hi) {
    mid = (lo + hi - (lo + hi) % 2) / 2;
    if (a[mid] == key)
      break;
    if (a[mid] < key)
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  if (lo <= hi)
    line = line + IntToStr(key) + "@" + IntToStr(mid) + " ";
  else
    line = line + IntToStr(key) + "? ";
}
WriteLn(line);
for (i = 0; i <= 4; i++) {
  t = a[i];
  a[i] = a[9 - i];
  a[9 - i] = t;
}
WriteLn(Show());
