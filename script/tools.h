#pragma once
// Shared rules of the script engine: type compatibility, declarations of host functions,
// IL literals and "line:col" positions.

#include <memory>
#include <string>
#include <string_view>

#include <vector>

#include "platform/core/format.h"
#include "platform/core/variant.h"
#include "script/program.h"

class TClassInfo;
class TksScript;
class TksXMLItem;

// The type of the item Find gives for the name; kvtClass when there is none.
TksVarType ItemVarType(std::string_view typeName, TksScript* script);
// Both are registered classes and the value's class is the target's or a descendant.
bool ClassInherits(std::string_view targetName, std::string_view valueName, TksScript* script);
bool TypeCompatible(TksVarType target, std::string_view targetName, TksVarType value,
                    std::string_view valueName, TksScript* script);
// TypeCompatible, but an Integer target refuses a float value.
bool CheckCompatible(const TksCustomVariable& item, TksVarType valueType,
                     std::string_view valueName, TksScript* script);
// 'text' gives text; decimal or $hex integers give Int32 (Int64 above 2147483647); else a
// float read with "." as separator; an empty text gives Null.
Variant ConvertLiteral(std::string_view text);
// A declaration "function Name(a, b: T; var c: T = 1): T" as an item with parameters.
std::unique_ptr<TksCustomVariable> ParseMethodSyntax(std::string_view text, TksScript* script);

struct TksPoint {
    int X = 0;
    int Y = 0;
};
// "line:col" to (col, line); (0, 0) for an empty text.
TksPoint SourcePosToPoint(std::string_view pos);

// Formatting arguments from a Variant array (element 0 upward): integer kinds as integers,
// floating kinds, currency and dates as floats, texts cut to 255 characters, Booleans as 1 or 0,
// everything else (Null, Empty) as the integer 0. The arguments own their payloads.
std::vector<TFormatArg> VariantsToVarRecs(const Variant& values);
// One formatting argument as a Variant: integers and pointers as integers, floats, texts.
Variant VarRecToVariant(const TFormatArg& arg);

// The designer's tree of a script's registered names: children "Functions" (by category),
// "Classes", "Types", "Variables" and "Constants" of root, each entry an "item" with a text
// attribute.
void BuildContentsTree(TksScript& script, TksXMLItem& root, bool functionsOnly);
// One "item" per member of every registered class that the class is or descends from.
void BuildMembersTree(TksScript& script, const TClassInfo& cls, TksXMLItem& root);
