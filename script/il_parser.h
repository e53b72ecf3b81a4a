#pragma once
// TksILParser: turns a script's source text into the intermediate language (IL), an XML
// document of declarations, statements and expressions with their source positions, by running
// the rules of the selected grammar over the text with a backtracking interpreter.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "script/xml_document.h"

class TStrings;
class TksGrammar;
class TksParser;

// What compiling needs of the script it compiles for; the script component holds one and the
// parser reports its errors into it.
struct TksCompileContext {
    // Supplies the text of a used unit instead of a file (unit name, in-out text).
    std::function<void(const std::string& unitName, std::string& unitText)> OnGetUnit;
    // Folders searched for used units, in order.
    std::vector<std::string> IncludeFolders{std::string()};
    // National letters (bytes 128-255) may form identifiers.
    bool HighCharIdentifiers = false;
    // The last compile error: message, "line:col" and unit (empty for the main text).
    std::string ErrorText;
    std::string ErrorPosition;
    std::string ErrorUnitName;
};

class TksILParser {
public:
    explicit TksILParser(TksCompileContext& script);
    ~TksILParser();
    TksILParser(const TksILParser&) = delete;
    TksILParser& operator=(const TksILParser&) = delete;

    // Configures the lexer and the rules for a registered language; raises
    // "Language '<name>' not found".
    void LoadGrammar(std::string_view language);
    // Parses the text into the IL document; false with the script's ErrorText and ErrorPosition
    // set when the text does not parse.
    bool SourceToIL(std::string_view text);
    // The same for script lines, each ended with CR LF whatever the list's own line break
    // (BasicScript ends lines only at CR).
    bool SourceToIL(const TStrings& lines);

    TksXMLDocument& ILDocument() { return il_; }
    // The loaded grammar's root (its types are read when the program is built).
    const TksXMLItem* GrammarRoot() const;
    TksParser& Lexer() { return *lexer_; }
    TksCompileContext& Script() { return script_; }
    const std::string& LanguageName() const { return languageName_; }
    const std::string& UnitName() const { return unitName_; }
    void SetUnitName(std::string name) { unitName_ = std::move(name); }
    // Units already included in this compile.
    std::vector<std::string>& UsesList() { return usesList_; }
    bool DeclarationsRequired() const { return declarationsRequired_; }

private:
    struct Run;

    // Parses into root, which a unit's parser fills inside its includer's tree.
    bool Parse(std::string_view text, TksXMLItem& root);

    TksCompileContext& script_;
    TksXMLDocument il_;
    std::unique_ptr<TksParser> lexer_;
    std::shared_ptr<const TksGrammar> grammar_;
    std::string languageName_;
    std::string unitName_;
    std::vector<std::string> usesList_;
    bool declarationsRequired_ = true;
    // Rule nesting of the units that include this one: a unit chain is one nesting for the limit.
    int nesting_ = 0;
};
