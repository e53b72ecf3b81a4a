#include "script/il_grammar.h"

#include <mutex>
#include <unordered_map>

#include "platform/core/text.h"

std::shared_ptr<const TksGrammar> TksGrammar::ForText(const std::string& text) {
    static std::mutex lock;
    static std::unordered_map<std::string, std::shared_ptr<const TksGrammar>> cache;
    {
        std::lock_guard guard(lock);
        auto it = cache.find(text);
        if (it != cache.end()) return it->second;
    }
    auto grammar = std::make_shared<const TksGrammar>(text);
    std::lock_guard guard(lock);
    return cache.emplace(text, std::move(grammar)).first->second;
}

TksGrammar::TksGrammar(const std::string& text) {
    document_.LoadFromText(text);
    const TksXMLItem* root = document_.Root();

    int p = root->Find("parser");
    const TksXMLItem* parser = p >= 0 ? root->Items(p) : nullptr;
    if (parser) {
        int k = parser->Find("keywords");
        if (k >= 0) {
            const TksXMLItem* keywords = parser->Items(k);
            for (int i = 0; i < keywords->Count(); ++i)
                keywords_.push_back(keywords->Items(i)->Name());
        }
        for (int i = 0; i < parser->Count(); ++i) {
            const TksXMLItem* setting = parser->Items(i);
            settings_.emplace_back(LowerCase(setting->Name()), setting->Prop("text"));
        }
    }
    int t = root->Find("types");
    types_ = t >= 0 ? root->Items(t) : nullptr;

    // Rule shells first, so that references can point at rules defined later.
    for (int i = 0; i < root->Count(); ++i) {
        const TksXMLItem* item = root->Items(i);
        std::string lower = LowerCase(item->Name());
        bool known = false;
        for (const auto& r : rules_)
            known = known || r.first == lower;
        elements_.emplace_back();
        if (!known) rules_.emplace_back(lower, &elements_.back());
    }
    std::size_t shell = 0;
    for (int i = 0; i < root->Count(); ++i) {
        auto* rule = &elements_[shell++];
        const TksXMLItem* item = root->Items(i);
        rule->kind = TksGrammarElement::kRule;
        rule->name = LowerCase(item->Name());
        rule->node = item->Prop("node");
        rule->nodeIsUses = SameText(rule->node, "uses");
        rule->add = item->Prop("add");
        rule->addText = item->Prop("addtext");
        rule->hasAddText = !rule->addText.empty();
        for (int c = 0; c < item->Count(); ++c)
            rule->children.push_back(Prepare(item->Items(c), false));
        rule->openEnded = rule->children.size() == 1 &&
                          (rule->children[0]->kind == TksGrammarElement::kLoop ||
                           rule->children[0]->kind == TksGrammarElement::kOptionalLoop);
    }
    // Resolve references now that every rule exists.
    for (auto& e : elements_) {
        if (e.kind != TksGrammarElement::kReference) continue;
        for (const auto& r : rules_)
            if (r.first == e.name) e.rule = r.second;
    }
    for (const auto& r : rules_)
        if (r.first == "program") program_ = r.second;
}

const TksGrammarElement* TksGrammar::Prepare(const TksXMLItem* item, bool isRule) {
    using E = TksGrammarElement;
    elements_.emplace_back();
    E& e = elements_.back();
    e.name = LowerCase(item->Name());
    if (isRule) {
        e.kind = E::kRule;
    } else {
        static const std::pair<const char*, E::Kind> kinds[] = {
            {"char", E::kChar},         {"keyword", E::kKeyword},
            {"ident", E::kIdent},       {"number", E::kNumber},
            {"string", E::kString},     {"pgstring", E::kReportString},
            {"eol", E::kEol},           {"sequence", E::kSequence},
            {"switch", E::kSwitch},     {"optionalswitch", E::kOptionalSwitch},
            {"loop", E::kLoop},         {"optionalloop", E::kOptionalLoop},
            {"optional", E::kOptional},
        };
        e.kind = E::kReference;
        for (const auto& k : kinds)
            if (e.name == k.first) e.kind = k.second;
    }
    e.text = LowerCase(item->Prop("text"));
    e.hasText = !e.text.empty();
    e.node = item->Prop("node");
    e.nodeIsUses = SameText(e.node, "uses");
    e.add = item->Prop("add");
    e.addText = item->Prop("addtext");
    e.hasAddText = !e.addText.empty();
    std::string skip = item->Prop("skip");
    e.skipBlanks = skip != "0";
    e.skipErrors = skip == "1";
    e.term = item->Prop("term") == "1";
    std::string err = item->Prop("err");
    if (!err.empty()) {
        const TksXMLItem* root = document_.Root();
        int p = root->Find("parser");
        if (p >= 0) {
            const TksXMLItem* parser = root->Items(p);
            int es = parser->Find("errors");
            if (es >= 0) {
                const TksXMLItem* errors = parser->Items(es);
                int k = errors->Find(err);
                if (k >= 0) {
                    std::string message = errors->Items(k)->Prop("text");
                    if (!message.empty()) {
                        errors_.push_back(std::move(message));
                        e.error = &errors_.back();
                    }
                }
            }
        }
    }
    for (int c = 0; c < item->Count(); ++c)
        e.children.push_back(Prepare(item->Items(c), false));
    return &e;
}
