#pragma once
// The alias dictionary of prepared pages: each object of a source page is written under a short
// alias ("m12"), which maps back to its source name ("Page0.Memo3") and its source copy.

#include <map>
#include <string>
#include <vector>

#include "platform/core/text.h"

class TpgwComponent;

class TpgwDictionary {
public:
    void Clear();
    void Add(const std::string& alias, const std::string& sourceName, TpgwComponent* object);
    // alias := CreateUniqueName(stem), then Add.
    void AddUnique(const std::string& stem, const std::string& sourceName, std::string& alias,
                   TpgwComponent* object);
    // The first free stem + number, probing 10000, 5000, ... 2 before counting up, so that a
    // stem with many aliases does not test every number from 1.
    std::string CreateUniqueName(const std::string& stem) const;
    // Case-insensitive; none for an unknown alias.
    TpgwComponent* GetObject(const std::string& alias) const;
    bool Contains(const std::string& alias) const { return names_.count(alias) != 0; }
    // Empty when unknown.
    std::string GetSourceName(const std::string& alias) const;

    int Count() const { return static_cast<int>(names_.size()); }
    // Aliases in sorted (case-insensitive) order with their source names.
    template <typename F> void ForEach(F&& f) const {
        for (const auto& [alias, index] : names_)
            f(alias, entries_[static_cast<std::size_t>(index)].sourceName);
    }

private:
    struct CaseLess {
        using is_transparent = void;
        bool operator()(const std::string& a, const std::string& b) const {
            return CompareText(a, b) < 0;
        }
    };
    struct Entry {
        std::string sourceName;
        TpgwComponent* object = nullptr;
    };
    std::map<std::string, int, CaseLess> names_;
    std::vector<Entry> entries_;
};
