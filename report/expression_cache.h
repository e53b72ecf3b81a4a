#pragma once
// The report's expression cache: every distinct expression (letter case ignored) compiles once,
// as a function "pg3f<N>" of a child script of its own, and later evaluations only call it. The
// child script's parent is the evaluating script, so expressions reach the report's objects,
// variables and functions.

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/core/exception.h"
#include "platform/core/variant.h"

class TksCustomVariable;
class TksScript;

// An error Calc has already entered into the report's error list; evaluations around it pass
// it on unchanged instead of entering it once more.
LUMETRA_EXCEPTION(ECalcError, Exception);

class TpgwExpressionCache {
public:
    // mainScript: the report's script, whose main-program flag is lowered around each call.
    explicit TpgwExpressionCache(TksScript* mainScript);
    ~TpgwExpressionCache();
    TpgwExpressionCache(const TpgwExpressionCache&) = delete;
    TpgwExpressionCache& operator=(const TpgwExpressionCache&) = delete;

    // Forgets every expression and function: the next one compiles as pg3f0.
    void Clear();
    const std::string& ScriptLanguage() const { return language_; }
    void SetScriptLanguage(const std::string& language) { language_ = language; }
    // The value of expression with script as the parent of the child script. errorText is
    // empty on success; otherwise it holds the compile or run-time error and the value is Null.
    // ECalcError passes through.
    Variant Calc(const std::string& expression, TksScript* script, std::string& errorText);
    // Expressions compiled so far.
    int Count() const { return static_cast<int>(functions_.size()); }
    TksScript& Script() { return *script_; }

private:
    struct NoCaseLess {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };
    std::map<std::string, TksCustomVariable*, NoCaseLess> functions_;
    std::unique_ptr<TksScript> script_;
    TksScript* mainScript_;
    std::string language_ = "PascalScript";
};

// The source of one cached function in a script language (empty for an unknown language).
std::string ExpressionFunctionText(std::string_view language, std::string_view functionName,
                                   std::string_view expression);
