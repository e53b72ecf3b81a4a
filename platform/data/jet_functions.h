#pragma once
// Jet's functions with Jet's semantics, for SQL run on SQLite in the Jet dialect:
//   text: Left, Right, Mid, Len, InStr, UCase, LCase, Val, CStr, Hex, Format;
//   dates: Now, Date, Time, Year, Month, Day, Hour, Minute, Second, Weekday, DateDiff, DateAdd,
//     DatePart, DateSerial;
//   numbers: Int, Fix, Round, Sgn, Abs, Sqr, Exp, Log, Sin, Cos, Tan, Atn;
//   conversions: CInt, CLng, CByte, CCur, CDbl, CBool, CDate;
//   choices: IIf, Nz, Switch, Choose;
//   aggregates: First, Last, StDev, StDevP, Var, VarP.
// Dates go in and out as this layer's date text. A call that fails is an SQL error naming the
// function and Jet's reason ("Overflow", "Type mismatch", "Invalid use of Null", "Invalid
// procedure call or argument"); a Jet function missing here is SQLite's "no such function".

struct sqlite3;

void RegisterJetFunctions(sqlite3* db);
