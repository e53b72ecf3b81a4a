#include "engine/dictionary.h"

void TpgwDictionary::Clear() {
    names_.clear();
    entries_.clear();
}

void TpgwDictionary::Add(const std::string& alias, const std::string& sourceName,
                         TpgwComponent* object) {
    entries_.push_back({sourceName, object});
    names_[alias] = static_cast<int>(entries_.size()) - 1;
}

void TpgwDictionary::AddUnique(const std::string& stem, const std::string& sourceName,
                               std::string& alias, TpgwComponent* object) {
    alias = CreateUniqueName(stem);
    Add(alias, sourceName, object);
}

std::string TpgwDictionary::CreateUniqueName(const std::string& stem) const {
    int n = 10000;
    while (n > 1) {
        if (Contains(stem + std::to_string(n))) break;
        n /= 2;
    }
    while (Contains(stem + std::to_string(n)))
        ++n;
    return stem + std::to_string(n);
}

TpgwComponent* TpgwDictionary::GetObject(const std::string& alias) const {
    auto it = names_.find(alias);
    return it == names_.end() ? nullptr : entries_[static_cast<std::size_t>(it->second)].object;
}

std::string TpgwDictionary::GetSourceName(const std::string& alias) const {
    auto it = names_.find(alias);
    return it == names_.end() ? std::string()
                              : entries_[static_cast<std::size_t>(it->second)].sourceName;
}
