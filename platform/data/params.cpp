#include "platform/data/params.h"

#include <cctype>

#include "platform/core/properties.h"
#include "platform/core/text.h"

namespace {

bool IsNameStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c >= 0x80;
}
bool IsNameChar(unsigned char c) {
    return std::isalnum(c) || c == '_' || c >= 0x80;
}

} // namespace

TParsedSQL ParseSQLParams(std::string_view sql) {
    TParsedSQL out;
    out.Text.reserve(sql.size());
    std::size_t i = 0;
    while (i < sql.size()) {
        char c = sql[i];
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            char close = c == '[' ? ']' : c;
            std::size_t j = sql.find(close, i + 1);
            if (j == std::string_view::npos) j = sql.size() - 1;
            out.Text.append(sql.substr(i, j - i + 1));
            i = j + 1;
            continue;
        }
        if (c == ':' && i + 1 < sql.size() && sql[i + 1] == ':') {
            out.Text += "::";
            i += 2;
            continue;
        }
        if (c == ':' && i + 1 < sql.size() && IsNameStart(static_cast<unsigned char>(sql[i + 1]))) {
            std::size_t j = i + 1;
            while (j < sql.size() && IsNameChar(static_cast<unsigned char>(sql[j])))
                ++j;
            out.Names.emplace_back(sql.substr(i + 1, j - i - 1));
            out.Text += '?';
            i = j;
            continue;
        }
        out.Text += c;
        ++i;
    }
    return out;
}

// ---- TParam ------------------------------------------------------------------------------------

void TParam::RegisterProperties(TClassBuilder<TParam>& b) {
    b.Add("Name", &TParam::Name, &TParam::SetName);
    b.Add("DataType", TypeInfoFieldType(), &TParam::DataType, &TParam::SetDataType)
        .Default(ftUnknown);
    b.Add("Value", &TParam::Value, &TParam::SetValue);
}

TParam::TParam(TCollection* collection) : TCollectionItem(collection) {}

void TParam::SetValue(const Variant& value) {
    value_ = value;
    bound_ = true;
}

void TParam::SetTyped(const Variant& v, TFieldType type) {
    value_ = v;
    dataType_ = type;
    bound_ = true;
}

void TParam::Clear() {
    value_ = Variant::Null();
}

void TParam::Assign(const TPersistent* source) {
    if (auto p = dynamic_cast<const TParam*>(source)) {
        name_ = p->name_;
        dataType_ = p->dataType_;
        paramType_ = p->paramType_;
        value_ = p->value_;
        bound_ = p->bound_;
        return;
    }
    TCollectionItem::Assign(source);
}

// ---- TParams -----------------------------------------------------------------------------------

TParams::TParams(TPersistent* owner) : TCollection(TParam::StaticClass(), owner) {}
TParams::TParams(const TClassInfo& itemClass, TPersistent* owner) : TCollection(itemClass, owner) {}

TParam* TParams::FindParam(std::string_view name) const {
    for (int i = 0; i < Count(); ++i)
        if (AnsiSameText(Items(i)->Name(), name)) return Items(i);
    return nullptr;
}

TParam* TParams::ParamByName(std::string_view name) const {
    TParam* p = FindParam(name);
    if (!p) throw EDatabaseError("Parameter '" + std::string(name) + "' not found");
    return p;
}

void TParams::ParseSQL(std::string_view sql) {
    TParsedSQL parsed = ParseSQLParams(sql);
    struct Kept {
        std::string name;
        TFieldType type;
        TParamType paramType;
        Variant value;
        bool bound;
    };
    std::vector<Kept> next;
    for (const std::string& n : parsed.Names) {
        bool seen = false;
        for (const auto& k : next)
            seen = seen || AnsiSameText(k.name, n);
        if (seen) continue;
        if (TParam* old = FindParam(n))
            next.push_back({n, old->DataType(), old->ParamType(), old->Value(), old->Bound()});
        else
            next.push_back({n, ftUnknown, ptInput, Variant(), false});
    }
    BeginUpdate();
    Clear();
    for (auto& k : next) {
        TParam* p = AddParameter();
        p->SetName(k.name);
        p->SetDataType(k.type);
        p->SetParamType(k.paramType);
        if (k.bound) p->SetValue(k.value);
    }
    EndUpdate();
}
