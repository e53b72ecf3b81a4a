#pragma once
// A grammar document prepared for the grammar interpreter: the rule elements with their
// attributes read once, rule references resolved, error texts looked up. Prepared grammars are
// cached per grammar text and shared; they are never changed after preparation.

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "script/xml_document.h"

struct TksGrammarElement {
    enum Kind {
        kRule, // a rule definition (a child of the grammar root)
        kChar,
        kKeyword,
        kIdent,
        kNumber,
        kString,
        kReportString,
        kEol,
        kSequence,
        kSwitch,
        kOptionalSwitch,
        kLoop,
        kOptionalLoop,
        kOptional,
        kReference,
    };
    Kind kind = kSequence;
    std::string name; // lower-cased element name
    std::string text; // lower-cased text attribute
    bool hasText = false;
    std::string node; // node attribute
    bool nodeIsUses = false;
    std::string add;     // add attribute
    std::string addText; // addtext attribute
    bool hasAddText = false;
    const std::string* error = nullptr; // message of the err attribute; null: records nothing
    bool skipBlanks = true;             // char: skip is not "0"
    bool skipErrors = false;            // loop: skip is "1"
    bool term = false;
    const TksGrammarElement* rule = nullptr; // reference: the rule, null when missing
    std::vector<const TksGrammarElement*> children;
    // A rule whose body is an open-ended list (a loop first), so it stops silently at text
    // it cannot read.
    bool openEnded = false;
};

class TksGrammar {
public:
    // The prepared grammar of a grammar text, from the cache or loaded now.
    static std::shared_ptr<const TksGrammar> ForText(const std::string& text);

    explicit TksGrammar(const std::string& text);
    TksGrammar(const TksGrammar&) = delete;
    TksGrammar& operator=(const TksGrammar&) = delete;

    const TksXMLItem* Root() const { return document_.Root(); }
    // The program rule; null when the grammar has none (an empty rule).
    const TksGrammarElement* Program() const { return program_; }
    // The types element, null when the grammar has none.
    const TksXMLItem* Types() const { return types_; }
    const std::vector<std::string>& Keywords() const { return keywords_; }
    // Lexer settings in document order: lower-cased element name and text.
    const std::vector<std::pair<std::string, std::string>>& Settings() const { return settings_; }

private:
    const TksGrammarElement* Prepare(const TksXMLItem* item, bool isRule);

    TksXMLDocument document_;
    std::deque<TksGrammarElement> elements_;
    std::deque<std::string> errors_;
    std::vector<std::pair<std::string, const TksGrammarElement*>> rules_;
    const TksGrammarElement* program_ = nullptr;
    const TksXMLItem* types_ = nullptr;
    std::vector<std::string> keywords_;
    std::vector<std::pair<std::string, std::string>> settings_;
};
