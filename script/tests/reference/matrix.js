// Two-dimensional arrays: identity, product, transpose, Pascal's triangle
// (rows are stored one after another in one-dimensional arrays)
var a[9];
var b[9];
var c[9];
var tri[64];
var i, j, k, s, line;

for (i = 0; i <= 2; i++)
  for (j = 0; j <= 2; j++) {
    a[i * 3 + j] = i * 3 + j + 1;
    if (i == j)
      b[i * 3 + j] = 2;
    else
      b[i * 3 + j] = 0;
  }
b[2] = 1;
for (i = 0; i <= 2; i++)
  for (j = 0; j <= 2; j++) {
    s = 0;
    for (k = 0; k <= 2; k++)
      s = s + a[i * 3 + k] * b[k * 3 + j];
    c[i * 3 + j] = s;
  }
for (i = 0; i <= 2; i++) {
  line = "";
  for (j = 0; j <= 2; j++)
    line = line + IntToStr(c[i * 3 + j]) + " ";
  WriteLn(line);
}
for (i = 0; i <= 2; i++) {
  line = "";
  for (j = 0; j <= 2; j++)
    line = line + IntToStr(a[j * 3 + i]) + " ";
  WriteLn(line);
}
s = 0;
for (i = 0; i <= 2; i++)
  s = s + a[i * 3 + i] - a[i * 3 + 2 - i];
WriteLn(s);
for (i = 0; i <= 7; i++) {
  tri[i * 8] = 1;
  tri[i * 8 + i] = 1;
  for (j = 1; j <= i - 1; j++)
    tri[i * 8 + j] = tri[(i - 1) * 8 + j - 1] + tri[(i - 1) * 8 + j];
  line = "";
  for (j = 0; j <= i; j++)
    line = line + IntToStr(tri[i * 8 + j]) + " ";
  WriteLn(line);
}
