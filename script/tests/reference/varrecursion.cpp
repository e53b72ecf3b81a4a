// A var parameter handed on through recursion: every level adds to the caller's variable
int total, depth;
string path;

void Accumulate(int n, int &sum) {
  if (n == 0) return;
  sum = sum + n;
  Accumulate(n - 1, sum);
}

void Walk(int level, string &trail, int &deepest) {
  trail = trail + IntToStr(level);
  if (level > deepest)
    deepest = level;
  if (level < 4)
    Walk(level + 1, trail, deepest);
  trail = trail + ".";
}

{
  total = 0;
  Accumulate(10, total);
  WriteLn(total);
  path = "";
  depth = 0;
  Walk(1, path, depth);
  WriteLn(path);
  WriteLn(depth);
}
