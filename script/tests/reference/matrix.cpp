// Two-dimensional arrays: identity, product, transpose, Pascal's triangle
int a[3][3];
int b[3][3];
int c[3][3];
int tri[8][8];
int i, j, k, s;
string line;

{
  for (i = 0; i <= 2; i++)
    for (j = 0; j <= 2; j++) {
      a[i][j] = i * 3 + j + 1;
      if (i == j)
        b[i][j] = 2;
      else
        b[i][j] = 0;
    }
  b[0][2] = 1;
  for (i = 0; i <= 2; i++)
    for (j = 0; j <= 2; j++) {
      s = 0;
      for (k = 0; k <= 2; k++)
        s = s + a[i][k] * b[k][j];
      c[i][j] = s;
    }
  for (i = 0; i <= 2; i++) {
    line = "";
    for (j = 0; j <= 2; j++)
      line = line + IntToStr(c[i][j]) + " ";
    WriteLn(line);
  }
  for (i = 0; i <= 2; i++) {
    line = "";
    for (j = 0; j <= 2; j++)
      line = line + IntToStr(a[j][i]) + " ";
    WriteLn(line);
  }
  s = 0;
  for (i = 0; i <= 2; i++)
    s = s + a[i][i] - a[i][2 - i];
  WriteLn(s);
  for (i = 0; i <= 7; i++) {
    tri[i][0] = 1;
    tri[i][i] = 1;
    for (j = 1; j <= i - 1; j++)
      tri[i][j] = tri[i - 1][j - 1] + tri[i - 1][j];
    line = "";
    for (j = 0; j <= i; j++)
      line = line + IntToStr(tri[i][j]) + " ";
    WriteLn(line);
  }
}
