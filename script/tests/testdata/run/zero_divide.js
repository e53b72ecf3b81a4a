var s = "abc";
WriteLn(s);
WriteLn(1 / 0);
