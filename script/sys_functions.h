#pragma once
// The built-in library every script gets first: the basic type names, True/False/nil/Null, the
// Variant type codes, the exception variables of the try statement, the array and string
// helpers and the conversion, format, date, string, math and other functions.

#include <functional>
#include <string>

#include "script/runtime.h"

class TksSysFunctions : public TksRTTIModule {
public:
    explicit TksSysFunctions(TksScript* script);

    // The function categories of the designer's function tree.
    static constexpr const char* ctString = "ctString";
    static constexpr const char* ctDate = "ctDate";
    static constexpr const char* ctConv = "ctConv";
    static constexpr const char* ctFormat = "ctFormat";
    static constexpr const char* ctMath = "ctMath";
    static constexpr const char* ctOther = "ctOther";

private:
    Variant CallConv(const std::string& name, TksMethodHelper& caller);
    Variant CallFormat(const std::string& name, TksMethodHelper& caller);
    Variant CallDate(const std::string& name, TksMethodHelper& caller);
    Variant CallString(const std::string& name, TksMethodHelper& caller);
    Variant CallMath(const std::string& name, TksMethodHelper& caller);
    Variant CallOther(const std::string& name, TksMethodHelper& caller);
};

// Puts the built-in library at the front of the host module list (once).
void ksRegisterSysFunctions();
void ksUnregisterSysFunctions();

// ShowMessage's display: the application installs its message box; without one the text goes
// to the standard error stream. Returns the handler that was in force.
using TksShowMessageHandler = std::function<void(const std::string& text)>;
TksShowMessageHandler ksSetShowMessageHandler(TksShowMessageHandler handler);

// Text formatted with an edit mask ("!(999)000-0000;0;_"): the mask's literals are inserted
// into the value (or, when the mask saves literals, matched against it); positions the value
// does not fill are blanks.
std::string FormatMaskText(std::string_view editMask, std::string_view value);

// Format with arguments from a Variant array, as the built-in Format converts them.
std::string ksFormatVariants(std::string_view format, const Variant& args);
