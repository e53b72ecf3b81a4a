// ksrun's test binding.
#include "tools/ksrun/test_binding.h"

#include "platform/core/numbers.h"
#include "platform/core/object_handle.h"
#include "platform/core/string_list.h"
#include "platform/core/text.h"
#include "script/script.h"

namespace {

// Characters, not bytes: positions count code points of the UTF-8 text.
std::vector<std::size_t> CharStarts(const std::string& s) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < s.size(); ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) starts.push_back(i);
    starts.push_back(s.size());
    return starts;
}

} // namespace

void RegisterTestBinding(TksScript& script, std::ostream& out) {
    const void* saved = script.OwnerTag;
    script.OwnerTag = ksHostTag;
    struct TypeEntry {
        const char* name;
        TksVarType type;
    };
    static const TypeEntry kTypes[] = {
        {"Byte", kvtInt},       {"Word", kvtInt},         {"Integer", kvtInt},
        {"Longint", kvtInt},    {"Cardinal", kvtInt},     {"TColor", kvtInt},
        {"Boolean", kvtBool},   {"Real", kvtFloat},       {"Single", kvtFloat},
        {"Double", kvtFloat},   {"Extended", kvtFloat},   {"Currency", kvtFloat},
        {"TDate", kvtFloat},    {"TTime", kvtFloat},      {"TDateTime", kvtFloat},
        {"Char", kvtChar},      {"String", kvtString},    {"Variant", kvtVariant},
        {"Pointer", kvtVariant}, {"Array", kvtArray},     {"Constructor", kvtConstructor},
    };
    for (const auto& t : kTypes) script.AddType(t.name, t.type);
    script.AddConst("True", "Boolean", Variant(true));
    script.AddConst("False", "Boolean", Variant(false));
    script.AddConst("nil", "Variant", Variant(0));
    script.AddConst("Null", "Variant", Variant::Null());
    script.AddItem("__StringHelper", std::make_unique<TksStringHelper>());
    script.AddItem("__ArrayHelper",
                   std::make_unique<TksArrayHelper>("__ArrayHelper", "Variant", kvtVariant, -1));
    script.AddVariable("ExceptionClassName", "String", Variant(std::string()));
    script.AddVariable("ExceptionMessage", "String", Variant(std::string()));

    auto call = [&out](TObject*, const TClassInfo*, const std::string& name,
                       TksMethodHelper& caller) -> Variant {
        if (name == "WRITELN") {
            out << VarToStr(caller.Params(0)) << '\n';
            return Variant(0);
        }
        if (name == "INTTOSTR") return Variant(std::to_string(caller.Params(0).AsInt64()));
        if (name == "UPPERCASE") return Variant(AnsiUpperCase(caller.Params(0).AsString()));
        if (name == "RAISEEXCEPTION") throw Exception(VarToStr(caller.Params(0)));
        if (name == "LENGTH") {
            const Variant v = caller.Params(0);
            if (v.IsArray()) return Variant(VarArrayHighBound(v, 1) - VarArrayLowBound(v, 1) + 1);
            return Variant(static_cast<int>(CharStarts(VarToStr(v)).size() - 1));
        }
        if (name == "COPY") {
            const std::string s = caller.Params(0).AsString();
            const auto starts = CharStarts(s);
            const std::int64_t chars = static_cast<std::int64_t>(starts.size()) - 1;
            std::int64_t from = std::max<std::int64_t>(caller.Params(1).AsInt64(), 1);
            std::int64_t count = caller.Params(2).AsInt64();
            if (from > chars || count <= 0) return Variant(std::string());
            const std::int64_t to = std::min(chars, from - 1 + count);
            return Variant(s.substr(starts[static_cast<std::size_t>(from - 1)],
                                    starts[static_cast<std::size_t>(to)] -
                                        starts[static_cast<std::size_t>(from - 1)]));
        }
        if (name == "ROUND" || name == "TRUNC") {
            // 64 bits kept: a value beyond 32 bits is not cut to its low half.
            const double d = caller.Params(0).AsDouble();
            const std::int64_t r = name == "ROUND" ? Round(d) : Trunc(d);
            if (r >= INT32_MIN && r <= INT32_MAX) return Variant(static_cast<int>(r));
            return Variant(static_cast<long long>(r));
        }
        if (name == "POS") {
            const std::string sub = caller.Params(0).AsString();
            const std::string s = caller.Params(1).AsString();
            const std::size_t at = s.find(sub);
            if (sub.empty() || at == std::string::npos) return Variant(0);
            const auto starts = CharStarts(s.substr(0, at));
            return Variant(static_cast<int>(starts.size()));
        }
        return Variant(0);
    };
    script.AddMethod("procedure WriteLn(V: Variant)", call);
    script.AddMethod("function IntToStr(i: Integer): String", call);
    script.AddMethod("function Copy(s: String; from, count: Integer): String", call);
    script.AddMethod("function Length(s: Variant): Integer", call);
    script.AddMethod("function Pos(substr, s: String): Integer", call);
    script.AddMethod("function UpperCase(s: String): String", call);
    script.AddMethod("procedure RaiseException(Param: String)", call);
    script.AddMethod("function Round(e: Extended): Integer", call);
    script.AddMethod("function Trunc(e: Extended): Integer", call);

    // A string list, so with statements, constructors, properties and default indexed
    // properties have a host class to work on.
    auto objects = [](TObject* instance, const TClassInfo* cls, const std::string& name,
                      TksMethodHelper& caller) -> Variant {
        if (cls == &TObjectClassInfo()) {
            if (name == "FREE") delete instance;
            if (name == "CLASSNAME")
                return Variant(dynamic_cast<TPersistent*>(instance)
                                   ? dynamic_cast<TPersistent*>(instance)->ClassType().ClassName()
                                   : std::string("TObject"));
            return Variant(0);
        }
        if (name == "CREATE") return ksObjectToValue(new TStringList());
        auto* list = dynamic_cast<TStringList*>(instance);
        if (!list) throw EInvalidObjectReference("Invalid object reference");
        if (name == "ADD") return Variant(list->Add(VarToStr(caller.Params(0))));
        if (name == "STRINGS.GET") return Variant(list->Strings(caller.Params(0).AsInteger()));
        if (name == "STRINGS.SET")
            list->SetStrings(caller.Params(0).AsInteger(), VarToStr(caller.Params(1)));
        return Variant(0);
    };
    TksClassVariable* obj = script.AddClass(TObjectClassInfo(), "");
    obj->AddConstructor("constructor Create", objects);
    obj->AddMember("procedure Free", objects);
    obj->AddMember("function ClassName: String", objects);
    TksClassVariable* sl = script.AddClass(TStringList::StaticClass(), "TObject");
    sl->AddConstructor("constructor Create", objects);
    sl->AddMember("function Add(const S: String): Integer", objects);
    sl->AddDefaultIndexedProperty("Strings", "Integer", "String", objects, false);
    sl->AddProperty(
        "Count", "Integer",
        [](TObject* instance, const TClassInfo*, const std::string&) {
            return Variant(dynamic_cast<TStringList&>(*instance).Count());
        });
    sl->AddProperty(
        "Text", "String",
        [](TObject* instance, const TClassInfo*, const std::string&) {
            return Variant(dynamic_cast<TStringList&>(*instance).Text());
        },
        [](TObject* instance, const TClassInfo*, const std::string&, const Variant& v) {
            dynamic_cast<TStringList&>(*instance).SetText(VarToStr(v));
        });
    script.OwnerTag = saved;
}
