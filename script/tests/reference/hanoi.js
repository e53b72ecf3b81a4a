// Towers of Hanoi: the moves for four discs and the move counts for up to ten
var moves = 0;

function Hanoi(n, src, dst, via, print) {
  if (n == 0) return;
  Hanoi(n - 1, src, via, dst, print);
  moves = moves + 1;
  if (print)
    WriteLn("disc " + IntToStr(n) + ": " + src + " -> " + dst);
  Hanoi(n - 1, via, dst, src, print);
}

Hanoi(4, "A", "C", "B", true);
WriteLn(moves);
var n;
for (n = 1; n <= 10; n++) {
  moves = 0;
  Hanoi(n, "A", "C", "B", false);
  WriteLn(IntToStr(n) + " discs: " + IntToStr(moves) + " moves");
}
