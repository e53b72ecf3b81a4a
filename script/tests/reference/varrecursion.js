// A var parameter handed on through recursion: every level adds to the caller's variable
// (node has no by-reference parameters: the twins' results come back through globals here)
var total, depth, path;

function Accumulate(n) {
  if (n == 0) return;
  total = total + n;
  Accumulate(n - 1);
}

function Walk(level) {
  path = path + IntToStr(level);
  if (level > depth)
    depth = level;
  if (level < 4)
    Walk(level + 1);
  path = path + ".";
}

total = 0;
Accumulate(10);
WriteLn(total);
path = "";
depth = 0;
Walk(1);
WriteLn(path);
WriteLn(depth);
