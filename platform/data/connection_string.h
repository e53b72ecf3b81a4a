#pragma once
// Connection strings: "Key=Value;Key2=Value2", values optionally in single or double quotes
// (a quote doubled inside stands for itself), keys compared without regard to case.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TConnectionString {
public:
    explicit TConnectionString(std::string_view text);
    // The value of the last occurrence of key; "" when absent.
    std::string Value(std::string_view key) const;
    bool Has(std::string_view key) const;
    const std::vector<std::pair<std::string, std::string>>& Items() const { return items_; }
    // The pairs again, without the keys given, for handing on to another layer.
    std::string Without(std::initializer_list<std::string_view> keys) const;

private:
    std::vector<std::pair<std::string, std::string>> items_;
};
