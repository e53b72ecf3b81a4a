#pragma once
// A report root for view and memo tests: its Calc gives a value from a table or adds up
// integers ("1+2") and fails otherwise; it remembers the expressions asked, the view it was last
// told about and the value a text object last showed (as "Value").

#include <map>
#include <string>
#include <vector>

#include "platform/core/exception.h"
#include "platform/core/variant.h"
#include "report/component.h"

class TCalcReport : public TpgwCustomReport {
    LUMETRA_CLASS(TCalcReport, TpgwCustomReport)
public:
    explicit TCalcReport(TComponent* owner) : TpgwCustomReport(owner) {}

    Variant Calc(const std::string& expression) override {
        calls.push_back(expression);
        if (auto it = values.find(expression); it != values.end()) return it->second;
        int sum = 0, term = 0;
        bool digits = false;
        for (char c : expression + "+") {
            if (c >= '0' && c <= '9') {
                term = term * 10 + (c - '0');
                digits = true;
            } else if (c == '+' && digits) {
                sum += term;
                term = 0;
                digits = false;
            } else {
                throw Exception("Cannot evaluate " + expression);
            }
        }
        return sum;
    }
    void SetSelfValue(TpgwComponent* view) override { self = view; }
    void SetScriptValue(const Variant& value) override { values["Value"] = value; }

    std::map<std::string, Variant> values;
    std::vector<std::string> calls;
    TpgwComponent* self = nullptr;
};
