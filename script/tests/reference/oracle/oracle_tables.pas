{ Prints the oracle tables (tab-separated) that the platform's formatting functions and
  Variant operators are checked against: oracle_tables <variant|format|formatfloat|
  formatdatetime|floattostr>. Inputs are listed here; every expected column is what
  Free Pascal's SysUtils and Variants compute. Text is printed verbatim, so inputs avoid
  tabs and line breaks. }
program oracle_tables;

{$mode delphi}{$H+}

uses SysUtils, Variants;

procedure Row(const Cols: array of string);
var
  i: Integer;
  line: string;
begin
  line := '';
  for i := 0 to High(Cols) do
  begin
    if i > 0 then
      line := line + #9;
    line := line + Cols[i];
  end;
  WriteLn(line);
end;

{ ---- Variant operators ------------------------------------------------------------- }

function Make(const Code: string): Variant;
var
  body: string;
begin
  body := Copy(Code, 3, MaxInt);
  if Code = 'null' then
    Result := Null
  else if Code = 'empty' then
    Result := Unassigned
  else
    case Code[1] of
      'i': Result := LongInt(StrToInt(body));
      'l': Result := StrToInt64(body);
      'd': Result := StrToFloat(body);
      's': Result := AnsiString(body);
      'b': Result := body = 'True';
    end;
end;

function Describe(const V: Variant): string;
var
  t: string;
begin
  case VarType(V) of
    varEmpty: t := '';
    varNull: t := '';
    varBoolean: if V then t := 'True' else t := 'False';
    varSingle, varDouble, varCurrency: t := FloatToStr(Double(V));
  else
    t := VarToStr(V);
  end;
  Result := IntToStr(VarType(V)) + ':' + t;
end;

function Apply(const Op: string; const A, B: Variant): Variant;
begin
  if Op = '+' then Result := A + B
  else if Op = '-' then Result := A - B
  else if Op = '*' then Result := A * B
  else if Op = '/' then Result := A / B
  else if Op = 'div' then Result := A div B
  else if Op = 'mod' then Result := A mod B
  else if Op = 'and' then Result := A and B
  else if Op = 'or' then Result := A or B
  else if Op = 'xor' then Result := A xor B
  else if Op = 'shl' then Result := A shl B
  else if Op = 'shr' then Result := A shr B
  else if Op = '=' then Result := A = B
  else if Op = '<>' then Result := A <> B
  else if Op = '<' then Result := A < B
  else if Op = '>' then Result := A > B
  else if Op = '<=' then Result := A <= B
  else if Op = '>=' then Result := A >= B
  else if Op = 'neg' then Result := -A
  else if Op = 'not' then Result := not A
  else raise Exception.Create('unknown operator ' + Op);
end;

procedure VariantRow(const A, Op, B: string);
var
  r: string;
  right: Variant;
begin
  try
    if B <> '' then
      right := Make(B);
    r := Describe(Apply(Op, Make(A), right));
  except
    r := 'error';
  end;
  Row([A, Op, B, r]);
end;

procedure VariantTable;
const
  Arith: array[0..5] of string = ('+', '-', '*', '/', 'div', 'mod');
  Cmp: array[0..5] of string = ('=', '<>', '<', '>', '<=', '>=');
  Logic: array[0..4] of string = ('and', 'or', 'xor', 'shl', 'shr');
  { No Empty operand: Free Pascal keeps Empty through arithmetic (and stops on Empty / 0),
    while the engine treats Empty as 0 or '', a deliberate departure. }
  Operands: array[0..14] of string = ('i:3', 'i:-7', 'i:2', 'i:0', 'i:2147483647',
    'i:-2147483648', 'l:2147483648', 'd:2.5', 'd:-7.9', 's:3', 's:10', 's:abc', 's:2.5',
    'b:True', 'null');
  CmpOperands: array[0..11] of string = ('i:9', 'i:10', 'i:3', 'd:9.5', 's:10', 's:9',
    's:B', 's:a', 's:', 'b:False', 'null', 'empty');
  LogicOperands: array[0..6] of string = ('i:6', 'i:3', 'i:-1', 'b:True', 'b:False',
    's:12', 'null');
  Unary: array[0..9] of string = ('i:5', 'i:-2147483648', 'd:2.5', 's:7', 's:abc',
    'b:True', 'b:False', 'i:6', 'null', 'empty');
var
  i, j, k: Integer;
begin
  Row(['left', 'op', 'right', 'result']);
  for k := 0 to High(Arith) do
    for i := 0 to High(Operands) do
      for j := 0 to High(Operands) do
        VariantRow(Operands[i], Arith[k], Operands[j]);
  for k := 0 to High(Cmp) do
    for i := 0 to High(CmpOperands) do
      for j := 0 to High(CmpOperands) do
        VariantRow(CmpOperands[i], Cmp[k], CmpOperands[j]);
  for k := 0 to High(Logic) do
    for i := 0 to High(LogicOperands) do
      for j := 0 to High(LogicOperands) do
        VariantRow(LogicOperands[i], Logic[k], LogicOperands[j]);
  for i := 0 to High(Unary) do
  begin
    VariantRow(Unary[i], 'neg', '');
    VariantRow(Unary[i], 'not', '');
  end;
end;

function Dbl(const S: string): Double;
begin
  Result := StrToFloat(S);
end;

{ ---- Format ------------------------------------------------------------------------ }

procedure F(const Pattern, ArgText: string; const Args: array of const);
var
  r: string;
begin
  try
    r := Format(Pattern, Args);
  except
    r := 'error';
  end;
  Row([Pattern, ArgText, r]);
end;

procedure FormatTable;
var
  big: Int64;
begin
  big := 12345678901;
  Row(['pattern', 'args', 'result']);
  F('%d-%s', 'i:3|s:x', [3, 'x']);
  F('%d', 'i:-42', [-42]);
  F('%5d|', 'i:42', [42]);
  F('%-5d|', 'i:42', [42]);
  F('%.5d', 'i:42', [42]);
  F('%.5d', 'i:-42', [-42]);
  F('%d', 'l:12345678901', [big]);
  F('%u', 'i:7', [7]);
  F('%x', 'i:255', [255]);
  F('%.4x', 'i:255', [255]);
  F('%X', 'i:48879', [48879]);
  F('%s', 's:hello', ['hello']);
  F('[%8s]', 's:abc', ['abc']);
  F('[%-8s]', 's:abc', ['abc']);
  F('[%.2s]', 's:abcdef', ['abcdef']);
  F('%f', 'd:3.14159', [Dbl('3.14159')]);
  F('%.2f', 'd:2.675', [Dbl('2.675')]);
  F('%.0f', 'd:2.5', [Dbl('2.5')]);
  F('%.0f', 'd:3.5', [Dbl('3.5')]);
  F('%.3f', 'd:-0.0005', [Dbl('-0.0005')]);
  F('%10.3f|', 'd:3.14159', [Dbl('3.14159')]);
  F('%-10.1f|', 'd:3.14159', [Dbl('3.14159')]);
  F('%e', 'd:12345.678', [Dbl('12345.678')]);
  F('%.3e', 'd:0.000123', [Dbl('0.000123')]);
  F('%g', 'd:0.1', [Dbl('0.1')]);
  F('%g', 'd:1e20', [Dbl('1e20')]);
  F('%g', 'd:123456.789', [Dbl('123456.789')]);
  F('%.3g', 'd:3.14159', [Dbl('3.14159')]);
  F('%n', 'd:1234567.891', [Dbl('1234567.891')]);
  F('%.0n', 'd:1234567.5', [Dbl('1234567.5')]);
  F('%.1n', 'd:-1234.56', [Dbl('-1234.56')]);
  F('%m', 'd:1234.5', [Dbl('1234.5')]);
  F('%m', 'd:-1234.5', [Dbl('-1234.5')]);
  F('%1:s %0:s', 's:a|s:b', ['a', 'b']);
  F('%0:s-%0:s', 's:x', ['x']);
  F('%*d|', 'i:6|i:42', [6, 42]);
  F('%-*d|', 'i:6|i:42', [6, 42]);
  F('%.*f', 'i:2|d:3.14159', [2, Dbl('3.14159')]);
  F('100%%', '', []);
  F('%s=%d', 's:n|i:5', ['n', 5]);
  F('%d', 's:x', ['x']);
  F('%s', 'i:5', [5]);
  F('%d', 'd:1.5', [Dbl('1.5')]);
  F('%f', 'i:3', [3]);
  F('%d %d', 'i:1', [1]);
  F('%z', 'i:1', [1]);
  F('%', 'i:1', [1]);
  F('abc', 'i:1', [1]);
end;

{ ---- FormatFloat ------------------------------------------------------------------- }

procedure FF(const Picture, ValueText: string);
var
  r: string;
  v: Double;
begin
  v := StrToFloat(ValueText);
  try
    r := FormatFloat(Picture, v);
  except
    r := 'error';
  end;
  Row([Picture, ValueText, r]);
end;

procedure FormatFloatTable;
const
  Pictures: array[0..17] of string = ('0', '0.00', '#.##', '#,##0.00', '0.###', '000.0',
    '#', '0.00E+00', '0.0E-0', '#,##0;(#,##0);zero', '0.0;-0.0', '"$"#,##0.00',
    '0 ''units''', '#0.0#', '0%', ',0', '.00', '');
  Values: array[0..11] of string = ('0', '1', '-1', '0.5', '1.5', '2.5', '-2.5', '1234.5678',
    '-1234567.891', '0.001234', '12345678', '0.125');
var
  i, j: Integer;
begin
  Row(['picture', 'value', 'result']);
  for i := 0 to High(Pictures) do
    for j := 0 to High(Values) do
      FF(Pictures[i], Values[j]);
end;

{ ---- FormatDateTime ---------------------------------------------------------------- }

procedure FD(const Fmt: string; Y, M, D, H, N, S, MS: Word);
var
  r: string;
  dt: TDateTime;
begin
  dt := EncodeDate(Y, M, D) + EncodeTime(H, N, S, MS);
  try
    r := FormatDateTime(Fmt, dt);
  except
    r := 'error';
  end;
  Row([Fmt, Format('%.4d-%.2d-%.2d %.2d:%.2d:%.2d.%.3d', [Y, M, D, H, N, S, MS]), r]);
end;

procedure FormatDateTimeTable;
const
  Formats: array[0..23] of string = ('yyyy-mm-dd', 'dd/mm/yy', 'd.m.yyyy', 'c', 'ddddd',
    'dddddd', 't', 'tt', 'hh:nn:ss.zzz', 'h:n:s', 'hh:nn am/pm', 'h a/p', 'ampm',
    'mmm mmmm', 'ddd dddd', 'yyyy"年"m"月"d"日"', '''at'' hh', 'yy', 'hh:mm', 'mm:ss',
    'dddd, mmmm d', 'd', 'z', 'nn');
var
  i: Integer;
begin
  Row(['format', 'datetime', 'result']);
  for i := 0 to High(Formats) do
  begin
    FD(Formats[i], 2024, 2, 29, 13, 5, 9, 7);
    FD(Formats[i], 1999, 12, 31, 0, 0, 0, 0);
    FD(Formats[i], 2023, 7, 4, 9, 45, 30, 500);
  end;
end;

{ ---- FloatToStr -------------------------------------------------------------------- }

procedure FloatToStrTable;
const
  Values: array[0..26] of string = ('0', '1', '-1', '0.1', '0.3', '1.5', '-2.25', '100',
    '123456789012345', '1234567890123456', '1E15', '1E20', '1.5E-7', '0.0001', '0.00001',
    '0.00009', '0.000001', '3.14159265358979', '2.718281828459045', '0.30000000000000004',
    '999999999999999', '9999999999999999', '1E-10', '-1E-5', '12345.6789', '1E100',
    '0.1234567890123456789');
var
  i: Integer;
  v: Double;
begin
  Row(['value', 'result']);
  for i := 0 to High(Values) do
  begin
    v := StrToFloat(Values[i]);
    Row([Values[i], FloatToStr(v)]);
  end;
end;

var
  which: string;
begin
  with DefaultFormatSettings do
  begin
    DecimalSeparator := '.';
    ThousandSeparator := ',';
    DateSeparator := '-';
    TimeSeparator := ':';
    ShortDateFormat := 'yyyy-mm-dd';
    LongDateFormat := 'dddd, mmmm d, yyyy';
    ShortTimeFormat := 'hh:nn';
    LongTimeFormat := 'hh:nn:ss';
    TimeAMString := 'AM';
    TimePMString := 'PM';
    CurrencyString := '$';
    CurrencyFormat := 0;
    NegCurrFormat := 1;
    CurrencyDecimals := 2;
  end;
  which := ParamStr(1);
  if which = 'variant' then VariantTable
  else if which = 'format' then FormatTable
  else if which = 'formatfloat' then FormatFloatTable
  else if which = 'formatdatetime' then FormatDateTimeTable
  else if which = 'floattostr' then FloatToStrTable
  else
  begin
    System.WriteLn(ErrOutput, 'usage: oracle_tables variant|format|formatfloat|formatdatetime|floattostr');
    Halt(2);
  end;
end.
