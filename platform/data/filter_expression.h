#pragma once
// The Filter text of a data set: comparisons of fields with constants (= <> < > <= >=,
// "is [not] null", like), joined by and, or, not and parentheses. A string constant ending
// in '*' matches as a prefix unless foNoPartialCompare is given.

#include <functional>
#include <memory>
#include <string_view>

#include "platform/core/variant.h"

class TFilterExpression {
public:
    // resolve gives the column of a field name, or -1 (then EDatabaseError
    // "Field 'x' not found"). A syntax error raises EDatabaseError naming the position.
    TFilterExpression(std::string_view text, const std::function<int(std::string_view)>& resolve);
    ~TFilterExpression();
    bool Matches(const std::function<Variant(int column)>& value, unsigned filterOptions) const;

    struct Node;

private:
    std::unique_ptr<Node> root_;
};
