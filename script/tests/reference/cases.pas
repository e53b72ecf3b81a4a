// case statements: single values, lists and ranges, else branch, nested in loops
var
  i: Integer;
  line: String;

function DayName(d: Integer): String;
begin
  case d of
    1: Result := 'Sun';
    2: Result := 'Mon';
    3: Result := 'Tue';
    4: Result := 'Wed';
    5: Result := 'Thu';
    6: Result := 'Fri';
    7: Result := 'Sat';
  else
    Result := '?';
  end;
end;

function Grade(score: Integer): String;
begin
  case score div 10 of
    10, 9: Result := 'A';
    8: Result := 'B';
    7: Result := 'C';
    5..6: Result := 'D';
  else
    Result := 'F';
  end;
end;

begin
  line := '';
  for i := 0 to 8 do
    line := line + DayName(i) + ' ';
  WriteLn(line);
  line := '';
  for i := 0 to 10 do
    line := line + Grade(i * 10 + 5) + ' ';
  WriteLn(line);
  for i := -1 to 3 do
    case i of
      0: WriteLn('zero');
      1:
        begin
          WriteLn('one');
          WriteLn('uno');
        end;
      2: ;
    else
      WriteLn('other ' + IntToStr(i));
    end;
  line := '';
  for i := 1 to 15 do
    case i mod 15 of
      0: line := line + 'FizzBuzz ';
      3, 6, 9, 12: line := line + 'Fizz ';
      5, 10: line := line + 'Buzz ';
    else
      line := line + IntToStr(i) + ' ';
    end;
  WriteLn(line);
end.
