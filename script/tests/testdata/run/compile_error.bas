Dim x
x = 1
WriteLn(x + y)
z = "a" * 2
