{ Reference-side prelude: gives Free Pascal the engine's built-ins with the engine's text
  forms, so a script compiles unchanged under fpc and prints the same lines. }
unit ksprelude;

{$mode delphi}{$H+}

interface

uses SysUtils, Variants;

type
  { Script integers promote to 64 bits instead of wrapping. }
  Integer = Int64;

procedure WriteLn(const V: Variant);
function IntToStr(V: Int64): string;
function UpperCase(const S: string): string;
procedure RaiseException(const Msg: string);
function ExceptionMessage: string;
function ExceptionClassName: string;

implementation

{ FloatToStr as the class library writes it: Free Pascal keeps fixed notation down to 1E-5,
  the class library switches to scientific notation below 1E-4. }
function FloatText(D: Double): string;
var
  mant, expo: string;
  e: Integer;
begin
  Result := FloatToStr(D);
  if (Pos('0.0000', Result) <> 1) and (Pos('-0.0000', Result) <> 1) then
    exit;
  Result := FloatToStrF(D, ffExponent, 15, 0);
  e := Pos('E', Result);
  mant := Copy(Result, 1, e - 1);
  expo := IntToStr(StrToInt(Copy(Result, e + 1, MaxInt)));
  while mant[Length(mant)] = '0' do
    Delete(mant, Length(mant), 1);
  if mant[Length(mant)] = '.' then
    Delete(mant, Length(mant), 1);
  Result := mant + 'E' + expo;
end;

function TextOf(const V: Variant): string;
begin
  case VarType(V) of
    varEmpty, varNull: Result := '';
    varBoolean: if V then Result := 'True' else Result := 'False';
    varSingle, varDouble, varCurrency: Result := FloatText(Double(V));
  else
    Result := VarToStr(V);
  end;
end;

procedure WriteLn(const V: Variant);
begin
  System.WriteLn(TextOf(V));
end;

function IntToStr(V: Int64): string;
begin
  Result := SysUtils.IntToStr(V);
end;

function UpperCase(const S: string): string;
begin
  Result := SysUtils.UpperCase(S);
end;

procedure RaiseException(const Msg: string);
begin
  raise Exception.Create(Msg);
end;

function ExceptionMessage: string;
begin
  if ExceptObject is Exception then
    Result := Exception(ExceptObject).Message
  else
    Result := '';
end;

function ExceptionClassName: string;
begin
  if ExceptObject <> nil then
    Result := ExceptObject.ClassName
  else
    Result := '';
end;

initialization
  DefaultFormatSettings.DecimalSeparator := '.';
  DefaultFormatSettings.ThousandSeparator := ',';
end.
