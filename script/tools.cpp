// Type compatibility, declarations of host functions, IL literals and positions.
#include "script/tools.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "platform/core/persistent.h"
#include "platform/core/text.h"
#include "script/script.h"
#include "script/xml_document.h"

TksVarType ItemVarType(std::string_view typeName, TksScript* script) {
    TksCustomVariable* item = script ? script->Find(typeName) : nullptr;
    return item ? item->VarType : kvtClass;
}

bool ClassInherits(std::string_view targetName, std::string_view valueName, TksScript* script) {
    if (!script) return false;
    TksClassVariable* target = script->FindClass(targetName);
    TksClassVariable* value = script->FindClass(valueName);
    if (!target || !value) return false;
    return value->HostClass->InheritsFrom(*target->HostClass);
}

bool TypeCompatible(TksVarType target, std::string_view targetName, TksVarType value,
                    std::string_view valueName, TksScript* script) {
    if (value == kvtVariant) return target != kvtConstructor;
    switch (target) {
    case kvtInt: return value == kvtInt || value == kvtFloat || value == kvtEnum;
    case kvtBool: return value == kvtBool;
    case kvtFloat: return value == kvtInt || value == kvtFloat;
    case kvtChar:
    case kvtString: return value == kvtChar || value == kvtString;
    case kvtClass: return value == kvtClass && ClassInherits(targetName, valueName, script);
    case kvtArray: return value == kvtArray;
    case kvtVariant: return true;
    case kvtEnum:
        return value == kvtInt || (value == kvtEnum && ksCompareNames(targetName, valueName) == 0);
    case kvtConstructor: return false;
    }
    return false;
}

bool CheckCompatible(const TksCustomVariable& item, TksVarType valueType,
                     std::string_view valueName, TksScript* script) {
    if (item.VarType == kvtInt && valueType == kvtFloat) return false;
    return TypeCompatible(item.VarType, item.TypeName, valueType, valueName, script);
}

namespace {

// Bytes that are not UTF-8 (a #nn code above 127) are taken as Latin-1 characters.
std::string ToUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool valid = len > 0 && i + len <= s.size();
        for (std::size_t k = 1; valid && k < len; ++k)
            valid = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
        if (valid) {
            out.append(s.substr(i, len));
            i += len;
        } else {
            out += Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(c)));
            ++i;
        }
    }
    return out;
}

} // namespace

Variant ConvertLiteral(std::string_view text) {
    if (text.empty()) return Variant::Null();
    if (text.front() == '\'') {
        std::string_view inner = text.size() >= 2 ? text.substr(1, text.size() - 2) : std::string_view();
        return Variant(ToUtf8(inner));
    }
    std::int64_t value = 0;
    std::from_chars_result r{};
    bool isInt = false;
    if (text.front() == '$') {
        std::uint64_t u = 0;
        r = std::from_chars(text.data() + 1, text.data() + text.size(), u, 16);
        isInt = r.ec == std::errc() && r.ptr == text.data() + text.size() && text.size() > 1;
        value = static_cast<std::int64_t>(u);
    } else {
        r = std::from_chars(text.data(), text.data() + text.size(), value, 10);
        isInt = r.ec == std::errc() && r.ptr == text.data() + text.size();
    }
    if (isInt) {
        if (value >= INT32_MIN && value <= INT32_MAX) return Variant(static_cast<int>(value));
        return Variant(static_cast<long long>(value));
    }
    double d = 0;
    r = std::from_chars(text.data(), text.data() + text.size(), d);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
    return Variant(d);
}

namespace {

struct Token {
    enum Kind { End, Ident, Number, String, Punct } kind = End;
    std::string text;
};

class DeclLexer {
public:
    DeclLexer(std::string_view text, bool highChars) : text_(text), high_(highChars) {}
    Token Next() {
        while (pos_ < text_.size() && static_cast<unsigned char>(text_[pos_]) <= ' ') ++pos_;
        Token t;
        if (pos_ >= text_.size()) return t;
        const auto c = static_cast<unsigned char>(text_[pos_]);
        const std::size_t start = pos_;
        if (IsIdent(c) && !(c >= '0' && c <= '9')) {
            while (pos_ < text_.size() && IsIdent(static_cast<unsigned char>(text_[pos_]))) ++pos_;
            t.kind = Token::Ident;
        } else if ((c >= '0' && c <= '9') || c == '$') {
            ++pos_;
            while (pos_ < text_.size() &&
                   (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.'))
                ++pos_;
            t.kind = Token::Number;
        } else if (c == '\'' || c == '"') {
            ++pos_;
            while (pos_ < text_.size() && text_[pos_] != static_cast<char>(c)) ++pos_;
            if (pos_ < text_.size()) ++pos_;
            t.kind = Token::String;
            std::string inner(text_.substr(start + 1, pos_ - start - 2 + (pos_ > text_.size() ? 1 : 0)));
            t.text = "'" + inner + "'";
            return t;
        } else {
            ++pos_;
            t.kind = Token::Punct;
        }
        t.text = std::string(text_.substr(start, pos_ - start));
        return t;
    }

private:
    bool IsIdent(unsigned char c) const {
        return std::isalnum(c) || c == '_' || (high_ && c >= 128);
    }
    std::string_view text_;
    std::size_t pos_ = 0;
    bool high_;
};

std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

} // namespace

std::unique_ptr<TksCustomVariable> ParseMethodSyntax(std::string_view text, TksScript* script) {
    DeclLexer lex(text, script && script->HighCharIdentifiers);
    Token t = lex.Next();
    std::string kind = LowerAscii(t.text);
    bool macro = false;
    if (kind.rfind("macro", 0) == 0) {
        macro = true;
        kind = kind.substr(5);
    }
    const bool isFunction = kind == "function";
    const std::string name = lex.Next().text;
    std::string typeName;
    if (isFunction) {
        const std::size_t colon = text.rfind(':');
        if (colon != std::string_view::npos) {
            DeclLexer tail(text.substr(colon + 1), false);
            typeName = tail.Next().text;
        }
    }
    auto item = std::make_unique<TksCustomVariable>(name, typeName,
                                                    isFunction ? ItemVarType(typeName, script) : kvtVariant);
    item->TakesSourceText = macro;
    t = lex.Next();
    if (t.kind != Token::Punct || t.text != "(") return item;
    std::vector<std::string> names;
    bool byRef = false;
    for (t = lex.Next(); t.kind != Token::End && t.text != ")";) {
        if (t.kind == Token::Ident) {
            const std::string lower = LowerAscii(t.text);
            if (lower == "var") byRef = true;
            else if (lower != "const") names.push_back(t.text);
            t = lex.Next();
        } else if (t.text == ":") {
            Token type = lex.Next();
            Variant def = Variant::Null();
            t = lex.Next();
            if (t.text == "=") {
                Token v = lex.Next();
                if (v.kind == Token::Number || v.kind == Token::String) {
                    def = ConvertLiteral(v.text);
                } else if (v.text == "-") {
                    Token num = lex.Next();
                    def = ConvertLiteral("-" + num.text);
                } else if (v.kind == Token::Ident) {
                    TksCustomVariable* found = script ? script->Find(v.text) : nullptr;
                    if (found) def = found->Value;
                }
                t = lex.Next();
            }
            const TksVarType vt = ItemVarType(type.text, script);
            for (std::size_t i = 0; i < names.size(); ++i) {
                const bool last = i + 1 == names.size();
                auto p = std::make_unique<TksParamItem>(names[i], byRef, last && !def.IsNull(),
                                                        type.text, vt);
                if (last) p->DefaultValue = def;
                item->AddParam(std::move(p));
            }
            names.clear();
            byRef = false;
        } else if (t.text == ";") {
            names.clear();
            byRef = false;
            t = lex.Next();
        } else {
            t = lex.Next();
        }
    }
    return item;
}

TksPoint SourcePosToPoint(std::string_view pos) {
    if (pos.empty()) return {};
    const std::size_t colon = pos.find(':');
    auto toInt = [&](std::string_view s) {
        int v = 0;
        auto r = std::from_chars(s.data(), s.data() + s.size(), v);
        if (r.ec != std::errc() || s.empty())
            throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
        return v;
    };
    if (colon == std::string_view::npos) return {0, toInt(pos)};
    return {toInt(pos.substr(colon + 1)), toInt(pos.substr(0, colon))};
}

std::vector<TFormatArg> VariantsToVarRecs(const Variant& values) {
    std::vector<TFormatArg> args;
    if (!values.IsArray()) return args;
    const int low = VarArrayLowBound(values, 1);
    const int high = VarArrayHighBound(values, 1);
    for (int i = low; i <= high; ++i) {
        const Variant v = VarArrayGet(values, {i});
        switch (v.Kind()) {
        case VariantKind::Int32:
        case VariantKind::Int64: args.emplace_back(static_cast<long long>(v.Int64Value())); break;
        case VariantKind::Double:
        case VariantKind::Date: args.emplace_back(v.DoubleValue()); break;
        case VariantKind::Bool: args.emplace_back(v.BoolValue() ? 1 : 0); break;
        case VariantKind::String: {
            std::string text = v.StringValue();
            // At most 255 characters, cut on a character boundary.
            std::size_t chars = 0, pos = 0;
            while (pos < text.size() && chars < 255) {
                ++pos;
                while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) ++pos;
                ++chars;
            }
            text.resize(pos);
            args.emplace_back(std::move(text));
            break;
        }
        default: args.emplace_back(0); break;
        }
    }
    return args;
}

Variant VarRecToVariant(const TFormatArg& arg) {
    if (const auto* i = std::get_if<std::int64_t>(&arg)) {
        if (*i >= INT32_MIN && *i <= INT32_MAX) return Variant(static_cast<int>(*i));
        return Variant(static_cast<long long>(*i));
    }
    if (const auto* d = std::get_if<double>(&arg)) return Variant(*d);
    if (const auto* t = std::get_if<std::string>(&arg)) return Variant(*t);
    return Variant::Null();
}

namespace {

std::string MemberText(const TksCustomHelper& m) {
    if (dynamic_cast<const TksPropertyHelper*>(&m)) return "property " + m.Name() + ": " + m.TypeText();
    if (dynamic_cast<const TksEventHelper*>(&m)) return "event " + m.Name();
    if (const auto* method = dynamic_cast<const TksMethodHelper*>(&m)) {
        std::string text = method->Syntax;
        if (method->IsIndexedProperty) {
            const std::size_t start = text.find_first_not_of(" \t");
            const std::size_t end = text.find_first_of(" \t(", start);
            if (start != std::string::npos)
                text = "index property" + text.substr(end == std::string::npos ? text.size() : end);
        }
        return text;
    }
    return m.Name() + ": " + m.TypeText();
}

// Attribute text as written in a tag; values go in unescaped.
void SetRaw(TksXMLItem& item, const std::string& name, const std::string& value) {
    std::string text = item.Text();
    if (!text.empty()) text += " ";
    text += name + "=\"" + value + "\"";
    item.SetText(std::move(text));
}

} // namespace

void BuildContentsTree(TksScript& script, TksXMLItem& root, bool functionsOnly) {
    TksXMLItem* functions = root.FindItem("Functions");
    TksXMLItem* classes = root.FindItem("Classes");
    TksXMLItem* types = root.FindItem("Types");
    TksXMLItem* variables = root.FindItem("Variables");
    TksXMLItem* constants = root.FindItem("Constants");
    std::vector<std::pair<TksXMLItem*, std::string>> typeValues;
    for (int i = 0; i < script.ItemCount(); ++i) {
        TObject* object = script.ItemAt(i);
        if (auto* m = dynamic_cast<TksMethodHelper*>(object)) {
            TksXMLItem* category = functions->FindItem(m->Category);
            category->SetText(std::string());
            SetRaw(*category, "text", m->Category);
            TksXMLItem* item = category->Add();
            item->SetName("item");
            SetRaw(*item, "text", m->Syntax);
            SetRaw(*item, "description", m->Description);
            continue;
        }
        if (functionsOnly) continue;
        if (auto* cls = dynamic_cast<TksClassVariable*>(object)) {
            TksXMLItem* item = classes->Add();
            item->SetName("item");
            SetRaw(*item, "text", cls->Name() + " = class(" + cls->AncestorName + ")");
            for (const auto& member : cls->Members) {
                TksXMLItem* sub = item->Add();
                sub->SetName("item");
                SetRaw(*sub, "text", MemberText(*member));
            }
            continue;
        }
        auto* var = dynamic_cast<TksVariable*>(object);
        if (!var || script.ItemName(i).empty()) continue;
        if (var->VarType == kvtEnum) {
            TksXMLItem* type = types->FindItem(var->TypeName);
            auto it = std::find_if(typeValues.begin(), typeValues.end(),
                                   [&](const auto& p) { return p.first == type; });
            if (it == typeValues.end()) {
                typeValues.emplace_back(type, std::string());
                it = typeValues.end() - 1;
            }
            if (ksCompareNames(var->Name(), var->TypeName) != 0) {
                if (!it->second.empty()) it->second += ",";
                it->second += var->Name();
            }
            continue;
        }
        TksXMLItem* item = (var->ReadOnly ? constants : variables)->Add();
        item->SetName("item");
        std::string text = var->Name() + ": " + var->TypeText();
        if (var->ReadOnly) text += " = " + VarToStr(var->Value);
        SetRaw(*item, "text", text);
    }
    for (int i = 0; i < types->Count(); ++i) {
        TksXMLItem* type = types->Items(i);
        if (ksCompareNames(type->Name(), "item") == 0) continue;
        std::string values;
        for (const auto& p : typeValues)
            if (p.first == type) values = p.second;
        const std::string typeName = type->Name();
        type->SetName("item");
        type->SetText(std::string());
        SetRaw(*type, "text", typeName + ": (" + values + ")");
    }
}

void BuildMembersTree(TksScript& script, const TClassInfo& cls, TksXMLItem& root) {
    for (int i = 0; i < script.ItemCount(); ++i) {
        auto* item = dynamic_cast<TksClassVariable*>(script.ItemAt(i));
        if (!item || !cls.InheritsFrom(*item->HostClass)) continue;
        for (const auto& member : item->Members) {
            TksXMLItem* sub = root.Add();
            sub->SetName("item");
            SetRaw(*sub, "text", MemberText(*member));
        }
    }
}
