#include "script/il_parser.h"

#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/string_list.h"
#include "platform/core/text.h"
#include "script/il_grammar.h"
#include "script/language_registry.h"
#include "script/messages.h"
#include "script/parser.h"

namespace {

// Rule invocations nested deeper than this end the parse with an error instead of exhausting
// the stack (about 400 levels of parentheses).
constexpr int kMaxDepth = 4000;
// What one unit level adds to the nesting besides its rule invocations: its parser, its run and
// the frames that lead to them weigh about as much on the stack as four rule invocations.
constexpr int kUnitDepth = 4;

struct TooDeep {};

// A unit file; names are matched ignoring letter case, as units come from Windows.
std::string ReadUnitFile(const std::string& path) {
    std::string found = ResolveFileCase(path);
    return ReadFileBytes(found.empty() ? path : found);
}

} // namespace

// The state of one SourceToIL: the output (one entry per IL tag, in document order) and the
// first recorded error.
struct TksILParser::Run {
    enum EntryKind : unsigned char { kHole, kOpen, kClose, kLeaf, kTree };
    struct Entry {
        EntryKind kind = kHole;
        const std::string* name = nullptr;
        std::string text; // attribute text of the tag
        std::string raw;  // leaf: the token as read
        std::unique_ptr<TksXMLItem> tree;
    };

    TksILParser& parser;
    TksParser& lexer;
    const TksGrammar& grammar;
    std::vector<Entry> out;
    bool recorded = false;
    std::string errorText;
    std::string errorPosition;
    bool errorTerm = false;
    int depth = 0;

    Run(TksILParser& p) : parser(p), lexer(*p.lexer_), grammar(*p.grammar_), depth(p.nesting_) {}

    void ClearError() {
        recorded = false;
        errorText.clear();
        errorPosition.clear();
        errorTerm = false;
    }

    // "line:col" of the first token at or after position s; the lexer's position is kept.
    std::string PositionAt(int s) {
        int position = lexer.Position();
        int tokenStart = lexer.TokenStart();
        lexer.SetPosition(s);
        lexer.SkipSpaces();
        std::string text = lexer.GetPositionText();
        lexer.SetCurrentPos(tokenStart);
        lexer.SetPosition(position);
        return text;
    }

    void RecordError(const TksGrammarElement* e, int s) {
        if (!e->error || recorded) return;
        recorded = true;
        errorText = *e->error;
        errorPosition = PositionAt(s);
        errorTerm = e->term;
    }

    void Truncate(std::size_t count) {
        if (out.size() > count)
            out.erase(out.begin() + static_cast<std::ptrdiff_t>(count), out.end());
    }

    void EmitLeaf(const std::string* name, const std::string& raw, const std::string& pos) {
        Entry& leaf = out.emplace_back();
        leaf.kind = kLeaf;
        leaf.name = name;
        leaf.text = "text=\"" + EscapeXMLText(raw) + "\" pos=\"" + pos + "\"";
        leaf.raw = raw;
    }

    void EmitOpen(const std::string* name, const std::string& text) {
        Entry& e = out.emplace_back();
        e.kind = kOpen;
        e.name = name;
        e.text = text;
    }

    void EmitClose(const std::string* name) {
        Entry& e = out.emplace_back();
        e.kind = kClose;
        e.name = name;
    }

    // A report expression <text> becomes a call of "Get" with the text as a string.
    void EmitReportString(const std::string& text) {
        static const std::string dsgn = "dsgn", node = "node", expr = "expr", string = "string",
                                 get = "Get";
        std::string pos = lexer.GetPositionText();
        std::string at = "pos=\"" + pos + "\"";
        EmitOpen(&dsgn, at);
        EmitLeaf(&node, get, pos);
        EmitOpen(&expr, at + " pos1=\"" + pos + "\"");
        EmitLeaf(&string, "'" + text + "'", pos);
        EmitClose(&expr);
        EmitClose(&dsgn);
    }

    void Wrap(const TksGrammarElement* e, std::size_t c, int s, bool matched) {
        if (e->node.empty()) return;
        if (e->nodeIsUses) {
            while (out.size() > c) {
                Entry last = std::move(out.back());
                out.pop_back();
                if (last.kind != kLeaf) continue;
                std::string unit =
                    last.raw.size() >= 2 ? last.raw.substr(1, last.raw.size() - 2) : std::string();
                IncludeUnit(unit, c);
            }
            return;
        }
        if (!matched) {
            Truncate(c);
            return;
        }
        std::string text = "pos=\"" + PositionAt(s) + "\"";
        if (e->node == "expr") text += " pos1=\"" + lexer.GetPositionText() + "\"";
        // The slot at c was reserved when the element started.
        out[c].kind = kOpen;
        out[c].name = &e->node;
        out[c].text = std::move(text);
        EmitClose(&e->node);
    }

    void IncludeUnit(const std::string& unit, std::size_t& c) {
        for (const auto& u : parser.usesList_)
            if (SameText(u, unit)) return;
        parser.usesList_.push_back(unit);
        TksCompileContext& script = parser.script_;
        std::string text;
        if (script.OnGetUnit) {
            script.OnGetUnit(unit, text);
        } else if (script.IncludeFolders.empty()) {
            text = ReadUnitFile(unit);
        } else {
            // The first folder that has the file; else the last one tried, which fails.
            std::string path;
            for (const auto& folder : script.IncludeFolders) {
                path = folder.empty() ? unit : IncludeTrailingPathDelimiter(folder) + unit;
                if (!ResolveFileCase(path).empty()) break;
            }
            text = ReadUnitFile(path);
        }
        auto uses = std::make_unique<TksXMLItem>();
        uses->SetName("uses");
        uses->SetText("unit=\"" + EscapeXMLText(unit) + "\"");
        if (!text.empty()) {
            TksILParser child(script);
            child.SetUnitName(unit);
            child.LoadGrammar(parser.languageName_);
            child.nesting_ = depth + kUnitDepth;
            // The list is lent, not copied, and the unit's IL is built in place: copying either
            // at every level of a unit chain would cost time and memory quadratic in its length.
            struct Lend {
                std::vector<std::string>& owner;
                std::vector<std::string>& borrower;
                Lend(std::vector<std::string>& o, std::vector<std::string>& b)
                    : owner(o), borrower(b) {
                    borrower = std::move(owner);
                }
                ~Lend() { owner = std::move(borrower); }
            } lend(parser.usesList_, child.usesList_);
            TksXMLItem* program = uses->Add();
            if (!child.Parse(text, *program)) {
                delete program;
                recorded = !script.ErrorText.empty();
                errorText = script.ErrorText;
                errorPosition = script.ErrorPosition;
                errorTerm = false;
                if (script.ErrorUnitName.empty()) script.ErrorUnitName = unit;
            }
        }
        Entry entry;
        entry.kind = kTree;
        entry.tree = std::move(uses);
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(c), std::move(entry));
        ++c;
    }

    bool Accept(const TksGrammarElement* e, const std::string& token) const {
        if (token.empty()) return false;
        if (!e->hasText) return true;
        return lexer.CaseSensitive() ? token == e->text : SameText(token, e->text);
    }

    bool Match(const TksGrammarElement* e) {
        struct Depth {
            int& d;
            explicit Depth(int& depth) : d(depth) {
                if (++d > kMaxDepth) throw TooDeep{};
            }
            ~Depth() { --d; }
        } guard(depth);

        using E = TksGrammarElement;
        const int s = lexer.Position();
        const std::size_t c = out.size();
        switch (e->kind) {
        case E::kSwitch:
        case E::kOptionalSwitch:
            for (const E* child : e->children)
                if (Match(child)) return true;
            if (e->kind == E::kOptionalSwitch) return true;
            RecordError(e, s);
            return false;
        case E::kOptional:
            for (const E* child : e->children) {
                if (!Match(child)) {
                    lexer.SetPosition(s);
                    Truncate(c);
                    break;
                }
            }
            return true;
        case E::kLoop:
        case E::kOptionalLoop:
            return MatchLoop(e, s, c);
        default:
            break;
        }

        if (!e->node.empty() && !e->nodeIsUses) out.emplace_back(); // slot for the opening tag
        bool matched = true;
        std::string token;
        switch (e->kind) {
        case E::kChar:
            if (e->skipBlanks) lexer.SkipSpaces();
            token = lexer.GetChar();
            matched = Accept(e, token);
            break;
        case E::kKeyword:
            matched = Accept(e, token = lexer.GetWord());
            break;
        case E::kIdent:
            matched = Accept(e, token = lexer.GetIdent());
            break;
        case E::kNumber:
            matched = Accept(e, token = lexer.GetNumber());
            break;
        case E::kString:
            matched = Accept(e, token = lexer.GetString());
            break;
        case E::kReportString:
            token = lexer.GetReportString();
            EmitReportString(token);
            matched = Accept(e, token);
            break;
        case E::kEol:
            matched = lexer.MatchLineEnd();
            break;
        case E::kReference:
            if (!e->rule) throw Exception(ksMessages().SInvalidLanguage);
            matched = Match(e->rule);
            break;
        default:
            break; // a rule definition or a sequence matches by itself
        }

        if (!matched) {
            RecordError(e, s);
        } else {
            if (e->kind != E::kRule) Wrap(e, c, s, true);
            if (!e->add.empty())
                EmitLeaf(&e->add, e->hasAddText ? e->addText : token, lexer.GetPositionText());
            for (const E* child : e->children) {
                if (!Match(child)) {
                    matched = false;
                    break;
                }
            }
        }
        if (!matched) lexer.SetPosition(s);
        if (e->kind == E::kRule) Wrap(e, c, s, matched);
        // Whatever a failed element emitted is dropped, so output always mirrors the text read.
        if (!matched) Truncate(c);
        return matched;
    }

    bool MatchLoop(const TksGrammarElement* e, int s, std::size_t c) {
        int repetitions = 0;
        int after = s;
        std::size_t afterCount = c;
        bool last = false;
        for (;;) {
            ++repetitions;
            const int r = lexer.Position();
            bool ok = true;
            for (const TksGrammarElement* child : e->children) {
                if (!Match(child)) {
                    ok = false;
                    break;
                }
            }
            after = lexer.Position();
            afterCount = out.size();
            last = ok;
            if (ok && e->hasText) {
                lexer.SkipSpaces();
                if (lexer.GetChar() != e->text) {
                    lexer.SetPosition(after);
                    break;
                }
            }
            if (!ok || lexer.Position() == r) break;
        }
        bool matched = last;
        if (repetitions > 1) {
            if (e->skipErrors || (recorded && errorTerm)) ClearError();
            lexer.SetPosition(after);
            Truncate(afterCount);
            matched = true;
        }
        if (!matched) {
            Truncate(c);
            if (e->kind == TksGrammarElement::kOptionalLoop) {
                lexer.SetPosition(s);
                matched = true;
            }
        }
        return matched;
    }

    // True when nothing but blanks, comments and line ends stand from position s on.
    bool OnlyBlanksFrom(int s) {
        lexer.SetCurrentPos(s);
        lexer.SkipSpaces();
        while (lexer.MatchLineEnd()) {
        }
        return lexer.Position() > lexer.Size();
    }

    // The program ends in an open statement list: text after it would be dropped unseen.
    bool ProgramIsOpenEnded(const TksGrammarElement* program) const {
        if (program->openEnded) return true;
        if (program->children.empty()) return false;
        const TksGrammarElement* last = program->children.back();
        return last->kind == TksGrammarElement::kReference && last->rule && last->rule->openEnded;
    }

    void BuildIL(TksXMLItem* root) {
        root->Clear();
        root->SetName("program");
        root->SetText("");
        std::vector<TksXMLItem*> open{root};
        for (Entry& e : out) {
            switch (e.kind) {
            case kHole:
                break;
            case kOpen: {
                TksXMLItem* item = open.back()->Add();
                item->SetName(*e.name);
                item->SetText(std::move(e.text));
                open.push_back(item);
                break;
            }
            case kClose:
                if (open.size() > 1) open.pop_back();
                break;
            case kLeaf: {
                TksXMLItem* item = open.back()->Add();
                item->SetName(*e.name);
                item->SetText(std::move(e.text));
                break;
            }
            case kTree:
                open.back()->AddItem(e.tree.release());
                break;
            }
        }
        TksXMLItem* types = root->Add();
        if (const TksXMLItem* grammarTypes = grammar.Types())
            types->Assign(grammarTypes);
        else
            types->SetName("types");
    }
};

TksILParser::TksILParser(TksCompileContext& script)
    : script_(script), lexer_(std::make_unique<TksParser>()) {}

TksILParser::~TksILParser() = default;

const TksXMLItem* TksILParser::GrammarRoot() const {
    return grammar_ ? grammar_->Root() : nullptr;
}

void TksILParser::LoadGrammar(std::string_view language) {
    lexer_->Reset();
    languageName_ = std::string(language);
    grammar_ = TksGrammar::ForText(GetLanguage(language));
    for (const auto& keyword : grammar_->Keywords())
        lexer_->AddKeyword(keyword);
    for (const auto& [name, text] : grammar_->Settings()) {
        if (name == "identchars")
            lexer_->SetIdentChars(text);
        else if (name == "commentline1")
            lexer_->SetCommentLine1(text);
        else if (name == "commentline2")
            lexer_->SetCommentLine2(text);
        else if (name == "commentblock1")
            lexer_->SetCommentBlock1(text);
        else if (name == "commentblock2")
            lexer_->SetCommentBlock2(text);
        else if (name == "stringquotes")
            lexer_->SetStringQuotes(text);
        else if (name == "hexsequence")
            lexer_->SetHexSequence(text);
        else if (name == "specstrchar") {
            if (text == "1") lexer_->SetSpecStrChar(true);
        } else if (name == "casesensitive") {
            if (text == "1") lexer_->SetCaseSensitive(true);
        } else if (name == "skipeol") {
            if (text == "0") lexer_->SetSkipEOL(false);
        } else if (name == "skipchar") {
            lexer_->SetSkipChar(text);
        } else if (name == "declarevars") {
            if (text == "0") declarationsRequired_ = false;
        }
    }
    if (script_.HighCharIdentifiers)
        for (int c = 128; c < 256; ++c)
            lexer_->AddIdentChar(static_cast<unsigned char>(c));
}

bool TksILParser::SourceToIL(const TStrings& lines) {
    std::string text;
    for (int i = 0; i < lines.Count(); ++i) {
        text += lines.Strings(i);
        text += "\r\n";
    }
    return SourceToIL(std::string_view(text));
}

bool TksILParser::SourceToIL(std::string_view text) {
    return Parse(text, *il_.Root());
}

bool TksILParser::Parse(std::string_view text, TksXMLItem& root) {
    if (!grammar_) LoadGrammar("PascalScript");
    lexer_->SetText(text);
    int start = 1;
    if (!text.empty() && text[0] == '#') {
        lexer_->SetCurrentPos(2);
        if (SameText(lexer_->GetWord(), "language")) {
            auto from = static_cast<std::size_t>(lexer_->Position() - 1);
            auto end = text.find_first_of("\r\n", from);
            if (end == std::string_view::npos) end = text.size();
            LoadGrammar(Trim(text.substr(from, end - from)));
            if (end < text.size() && text[end] == '\r') ++end;
            if (end < text.size() && text[end] == '\n') ++end;
            start = static_cast<int>(end) + 1;
        }
    }
    lexer_->SetCurrentPos(start);

    Run run(*this);
    bool matched = true;
    const TksGrammarElement* program = grammar_->Program();
    try {
        if (program) matched = run.Match(program);
    } catch (const TooDeep&) {
        run.out.clear();
        run.ClearError();
        run.recorded = true;
        run.errorText = ksMessages().STooDeep;
        run.errorPosition = lexer_->GetPositionText();
        matched = false;
    }
    if (matched && !run.recorded && program && run.ProgramIsOpenEnded(program)) {
        if (!run.OnlyBlanksFrom(lexer_->Position())) {
            run.recorded = true;
            run.errorText = ksMessages().SStatementExpected;
            run.errorPosition = lexer_->GetPositionText();
        }
    }
    if (!matched && !run.recorded && run.OnlyBlanksFrom(start)) {
        // Nothing but blanks and comments: an empty program in every language.
        run.out.clear();
        matched = true;
    }
    if (!matched && !run.recorded) {
        // A text the grammar does not accept always fails with a message.
        run.recorded = true;
        run.errorText = ksMessages().SStatementExpected;
        run.errorPosition = run.PositionAt(start);
    }
    if (matched && !run.recorded) {
        run.BuildIL(&root);
        script_.ErrorText.clear();
        script_.ErrorPosition.clear();
        return true;
    }
    root.Clear();
    script_.ErrorText = run.errorText;
    script_.ErrorPosition = run.errorPosition;
    return false;
}
