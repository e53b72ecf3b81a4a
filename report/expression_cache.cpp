#include "report/expression_cache.h"

#include "report/resources.h"
#include "script/script.h"

bool TpgwExpressionCache::NoCaseLess::operator()(std::string_view a, std::string_view b) const {
    return ksCompareNames(a, b) < 0;
}

TpgwExpressionCache::TpgwExpressionCache(TksScript* mainScript)
    : script_(std::make_unique<TksScript>(nullptr)), mainScript_(mainScript) {
    script_->HighCharIdentifiers = true;
}

TpgwExpressionCache::~TpgwExpressionCache() {
    script_->Parent = nullptr;
}

void TpgwExpressionCache::Clear() {
    functions_.clear();
    script_->Parent = nullptr;
    script_->Clear();
}

std::string ExpressionFunctionText(std::string_view language, std::string_view functionName,
                                   std::string_view expression) {
    const std::string name(functionName);
    const std::string expr(expression);
    if (ksCompareNames(language, "PascalScript") == 0)
        return "function " + name + ": Variant; begin Result := " + expr + " end; begin end.";
    if (ksCompareNames(language, "C++Script") == 0)
        return "Variant " + name + "() { return " + expr + "; } {}";
    if (ksCompareNames(language, "BasicScript") == 0)
        return "function " + name + "\r\nreturn " + expr + "\r\nend function";
    if (ksCompareNames(language, "JScript") == 0)
        return "function " + name + "() { return " + expr + "; }";
    return {};
}

Variant TpgwExpressionCache::Calc(const std::string& expression, TksScript* script,
                                  std::string& errorText) {
    errorText.clear();
    script_->Parent = script;
    TksCustomVariable* function = nullptr;
    if (auto it = functions_.find(expression); it != functions_.end()) {
        function = it->second;
    } else {
        const std::string name = "pg3f" + std::to_string(functions_.size());
        script_->SetSyntaxType(language_);
        script_->Lines().SetText(ExpressionFunctionText(language_, name, expression));
        const bool compiled = script_->Compile();
        function = script_->FindOwn(name);
        if (!compiled || !function) {
            if (function) script_->Remove(function);
            errorText = GetResources().GetText("clExprError") + " '" + expression +
                        "': " + script_->ErrorText;
            return Variant::Null();
        }
        functions_.emplace(expression, function);
    }

    // While the function runs, the report's main block is not the program that runs.
    struct MainFlag {
        TksScript* s;
        bool saved;
        ~MainFlag() {
            if (s) s->IsMainProgram = saved;
        }
    } mainFlag{mainScript_, mainScript_ && mainScript_->IsMainProgram};
    if (mainScript_) mainScript_->IsMainProgram = false;
    try {
        return function->GetValue();
    } catch (const ECalcError&) {
        throw;
    } catch (const Exception& e) {
        errorText = e.Message();
    } catch (const std::exception& e) {
        errorText = e.what();
    }
    if (errorText.empty()) errorText = "Error";
    return Variant::Null();
}
