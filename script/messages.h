#pragma once
// The engine's message texts. Every compile and run-time error of the engine uses them; the
// report replaces them with localised texts at start-up.

#include <string>

struct TksMessages {
    std::string SLangNotFound = "Language '%s' not found";
    std::string SInvalidLanguage = "Invalid language definition";
    std::string SIdRedeclared = "Identifier redeclared: ";
    std::string SUnknownType = "Unknown type: ";
    std::string SIncompatibleTypes = "Incompatible types";
    std::string SIdUndeclared = "Undeclared identifier: ";
    std::string SClassRequired = "Class type required";
    std::string SIndexRequired = "Index required";
    std::string SStringError = "Strings doesn't have properties or methods";
    std::string SClassError = "Class %s does not have a default property";
    std::string SArrayRequired = "Array type required";
    std::string SVarRequired = "Variable required";
    std::string SNotEnoughParams = "Not enough actual parameters";
    std::string STooManyParams = "Too many actual parameters";
    std::string SLeftCantAssigned = "Left side cannot be assigned to";
    std::string SForError = "For loop variable must be numeric variable";
    std::string SEventError = "Event handler must be a procedure";
    // Text that no rule of the language accepts, where the grammar would otherwise stop
    // reading silently; and a nesting deeper than the parser follows, or an expression with
    // more operands and operators than its evaluation follows.
    std::string SStatementExpected = "Statement expected";
    std::string STooDeep = "Program nested too deeply";
};

// The process-wide texts.
TksMessages& ksMessages();
