#pragma once
// The test binding of ksrun: the basic type names and constants, the exception variables, and a
// handful of functions (WriteLn, IntToStr, Copy, Length, Pos, UpperCase,
// RaiseException, Round, Trunc) until
// the full built-in library exists.

#include <ostream>

class TksScript;

void RegisterTestBinding(TksScript& script, std::ostream& out);
