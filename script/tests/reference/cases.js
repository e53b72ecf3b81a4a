// case statements: single values, lists and ranges, else branch, nested in loops
function DayName(d) {
  var r;
  switch (d) {
    case 1: r = "Sun";
    case 2: r = "Mon";
    case 3: r = "Tue";
    case 4: r = "Wed";
    case 5: r = "Thu";
    case 6: r = "Fri";
    case 7: r = "Sat";
    default: r = "?";
  }
  return r;
}

function Grade(score) {
  var r;
  switch ((score - score % 10) / 10) {
    case 10: r = "A";
    case 9: r = "A";
    case 8: r = "B";
    case 7: r = "C";
    case 5: r = "D";
    case 6: r = "D";
    default: r = "F";
  }
  return r;
}

var i;
var line = "";
for (i = 0; i <= 8; i++)
  line = line + DayName(i) + " ";
WriteLn(line);
line = "";
for (i = 0; i <= 10; i++)
  line = line + Grade(i * 10 + 5) + " ";
WriteLn(line);
for (i = -1; i <= 3; i++)
  switch (i) {
    case 0: WriteLn("zero");
    case 1: {
      WriteLn("one");
      WriteLn("uno");
    }
    case 2: { }
    default: WriteLn("other " + IntToStr(i));
  }
line = "";
for (i = 1; i <= 15; i++)
  switch (i % 15) {
    case 0: line = line + "FizzBuzz ";
    case 3: line = line + "Fizz ";
    case 6: line = line + "Fizz ";
    case 9: line = line + "Fizz ";
    case 12: line = line + "Fizz ";
    case 5: line = line + "Buzz ";
    case 10: line = line + "Buzz ";
    default: line = line + IntToStr(i) + " ";
  }
WriteLn(line);
