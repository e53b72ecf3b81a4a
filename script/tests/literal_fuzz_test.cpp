// String literals built from the pieces of character references (&, #, x, digits, ;, entity
// names, quotes) in each language's quoting: every one reaches the program as written. Damaged
// literals compile to a clean error or run. LUMETRA_FUZZ_ITERATIONS runs it longer.

#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "platform/core/tests/mutator.h"
#include "script/tests/script_fixture.h"

namespace {

const char* const kPieces[] = {"&",  "&",  ";",   "#",    "&#", "&#x", "x",    "X",
                               "$",  "-",  "amp", "quot", "lt", "gt",  "apos", "'",
                               "\"", "\\", "<",   ">",    " ",  "\t",  "a",    "é"};
const char* const kNumbers[] = {"0",          "9",   "34",         "38",
                                "60",         "65",  "1114111",    "1114112",
                                "55296",      "-1",  "2147483648", "99999999999999999999",
                                "4294967334", "0x41"};

std::string RandomText(fuzz::Random& random) {
    std::string text;
    const std::size_t pieces = random.Below(14);
    for (std::size_t i = 0; i < pieces; ++i) {
        if (random.OneIn(4)) {
            text += kNumbers[random.Below(std::size(kNumbers))];
        } else if (random.OneIn(8)) {
            for (std::size_t n = 1 + random.Below(6); n > 0; --n)
                text += static_cast<char>('0' + random.Below(10));
        } else {
            text += kPieces[random.Below(std::size(kPieces))];
        }
    }
    return text;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Quoted runs with doubled quotes, now and then a character written as #code or #$hex.
std::string QuotePascal(const std::string& text, fuzz::Random& random) {
    std::string out;
    bool open = false;
    for (char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x80 && random.OneIn(6)) {
            if (open) out += '\'';
            open = false;
            static const char kHex[] = "0123456789ABCDEF";
            out += random.OneIn(2) ? "#" + std::to_string(code)
                                   : std::string("#$") + kHex[code >> 4] + kHex[code & 15];
            continue;
        }
        if (!open) out += '\'';
        open = true;
        out += c == '\'' ? std::string("''") : std::string(1, c);
    }
    if (open) out += '\'';
    return out.empty() ? "''" : out;
}

// Backslash escapes; now and then a character written as \xHH where no hex digit follows.
std::string QuoteC(const std::string& text, fuzz::Random& random) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x80 && (i + 1 == text.size() || !IsHexDigit(text[i + 1])) && random.OneIn(6)) {
            static const char kHex[] = "0123456789abcdef";
            out += std::string("\\x") + kHex[code >> 4] + kHex[code & 15];
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string QuoteBasic(const std::string& text, fuzz::Random&) {
    std::string out = "\"";
    for (char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

struct Language {
    const char* name;
    std::string (*quote)(const std::string&, fuzz::Random&);
    const char* before; // program text around the literal
    const char* after;
};

const Language kLanguages[] = {
    {"PascalScript", QuotePascal, "begin WriteLn(", ") end."},
    {"C++Script", QuoteC, "{ WriteLn(", "); }"},
    {"JScript", QuoteC, "WriteLn(", ");"},
    {"BasicScript", QuoteBasic, "WriteLn(", ")"},
};

class LiteralFuzz : public ScriptFixture {};

TEST_F(LiteralFuzz, CharacterReferencesInLiteralsReachTheProgram) {
    fuzz::Random random;
    const long iterations = fuzz::Iterations(1500);
    long damaged = 0;
    for (long i = 0; i < iterations && !HasFailure(); ++i) {
        const Language& language = kLanguages[i % std::size(kLanguages)];
        const std::string text = RandomText(random);
        const std::string literal = language.quote(text, random);
        std::string source = language.before + literal + language.after;
        const bool damage = random.OneIn(4);
        if (damage) {
            const std::size_t from = std::string(language.before).size();
            source = fuzz::Mutate(source, random, 3, from, from + literal.size());
            ++damaged;
        }

        TksScript s(nullptr);
        RegisterBasics(s);
        int steps = 0;
        s.OnRunLine = [&steps](TksScript* sender, const std::string&, const std::string&) {
            if (++steps > 100) sender->Root()->Terminate();
        };
        s.SetSyntaxType(language.name);
        s.Lines().SetText(source);
        out.clear();
        const bool compiled = s.Compile();
        if (!damage) {
            ASSERT_TRUE(compiled) << language.name << ": " << source << "\n"
                                  << s.ErrorPosition << ": " << s.ErrorText;
            s.Execute();
            EXPECT_EQ(out, text + "\n") << language.name << ": " << source;
        } else if (compiled) {
            try {
                s.Execute();
            } catch (const Exception&) {
                // A damaged program may fail when it runs; it must not crash.
            }
        } else {
            EXPECT_FALSE(s.ErrorText.empty()) << language.name << ": " << source;
        }
    }
    RecordProperty("inputs", std::to_string(iterations));
    RecordProperty("damaged", std::to_string(damaged));
}

} // namespace
