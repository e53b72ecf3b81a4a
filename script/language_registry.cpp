#include "script/language_registry.h"

#include <mutex>
#include <utility>
#include <vector>

#include "platform/core/exception.h"
#include "platform/core/format.h"
#include "platform/core/string_list.h"
#include "platform/core/text.h"
#include "script/grammars.h"
#include "script/messages.h"

namespace {

struct Registry {
    std::mutex lock;
    std::vector<std::pair<std::string, std::string>> entries;

    Registry() {
        entries = {{"JScript", std::string(ksJScriptGrammar())},
                   {"BasicScript", std::string(ksBasicScriptGrammar())},
                   {"C++Script", std::string(ksCppScriptGrammar())},
                   {"PascalScript", std::string(ksPascalScriptGrammar())}};
    }
};

Registry& registry() {
    static Registry r;
    return r;
}

} // namespace

void RegisterLanguage(std::string_view name, std::string_view grammar) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    for (auto& e : r.entries) {
        if (SameText(e.first, name)) {
            e.second = std::string(grammar);
            return;
        }
    }
    r.entries.emplace_back(std::string(name), std::string(grammar));
}

std::string GetLanguage(std::string_view name) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    for (const auto& e : r.entries)
        if (SameText(e.first, name)) return e.second;
    throw Exception(Format(ksMessages().SLangNotFound, {std::string(name)}));
}

void GetLanguageList(TStrings& list) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    list.Clear();
    for (const auto& e : r.entries)
        if (e.first.empty() || e.first[0] != '@') list.Add(e.first);
}
