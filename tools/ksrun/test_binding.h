#pragma once
// The binding ksrun runs scripts with: the built-in library, the class and INI bindings, and a
// WriteLn that prints each value on a line of its own.

#include <ostream>

class TksScript;

void RegisterTestBinding(TksScript& script, std::ostream& out);
