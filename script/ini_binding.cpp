// Script binding of INI files.
#include "script/ini_binding.h"

#include <string>

#include "platform/core/object_handle.h"
#include "platform/core/string_list.h"
#include "script/script.h"

namespace {

constexpr const char* kModuleName = "ks_iinirtti";

[[noreturn]] void InvalidReference() {
    throw EInvalidObjectReference("Invalid object reference");
}

TCustomIniFile& IniOf(TObject* instance) {
    auto* ini = dynamic_cast<TCustomIniFile*>(instance);
    if (!ini) InvalidReference();
    return *ini;
}

std::string Text(TksMethodHelper& caller, int index) {
    return VarToStr(caller.Params(index));
}

TStrings& StringsArg(TksMethodHelper& caller, int index) {
    auto* strings = dynamic_cast<TStrings*>(ksValueToObject(caller.Params(index)));
    if (!strings) InvalidReference();
    return *strings;
}

// IsClear defaults to True; an argument left out arrives as Null.
bool FlagArg(TksMethodHelper& caller, int index) {
    const Variant v = caller.Params(index);
    return v.IsNull() || v.IsEmpty() ? true : v.AsBool();
}

} // namespace

const TClassInfo& TCustomIniFileScriptClass() {
    static const TClassInfo info("TCustomIniFile", &TObjectClassInfo(), nullptr, nullptr, nullptr);
    return info;
}

const TClassInfo& TMemIniFileScriptClass() {
    static const TClassInfo info("TMemIniFile", &TCustomIniFileScriptClass(), nullptr, nullptr,
                                 nullptr);
    return info;
}

const TClassInfo& TIniFileScriptClass() {
    static const TClassInfo info("TIniFile", &TCustomIniFileScriptClass(), nullptr, nullptr,
                                 nullptr);
    return info;
}

// ---- operations of the module's own -------------------------------------------------------------

void WriteTStrings(TCustomIniFile& ini, std::string_view section, const TStrings& value,
                   bool isClear) {
    if (isClear) ini.EraseSection(section);
    const int count = value.Count();
    for (int i = 0; i < count; ++i)
        ini.WriteString(section, "Items" + std::to_string(i), value.Strings(i));
    ini.WriteInteger(section, "Count", count);
}

void ReadTStrings(TCustomIniFile& ini, std::string_view section, TStrings& value, bool isClear) {
    const int count = ini.ReadInteger(section, "Count", 0);
    if (isClear) value.Clear();
    value.BeginUpdate();
    try {
        for (int i = 0; i < count; ++i)
            value.Add(ini.ReadString(section, "Items" + std::to_string(i), ""));
    } catch (...) {
        value.EndUpdate();
        throw;
    }
    value.EndUpdate();
}

void ReadSectionValuesEx(TCustomIniFile& ini, std::string_view section, TStrings& strings) {
    TStringList lines;
    ini.ReadSectionValues(section, lines);
    strings.Clear();
    for (int i = 0; i < lines.Count(); ++i)
        strings.Add(lines.ValueFromIndex(i));
}

void SaveIniFileToStream(TCustomIniFile& ini, TStream& stream) {
    TStringList lines;
    if (auto* disk = dynamic_cast<TIniFile*>(&ini)) {
        lines.LoadFromFile(disk->FileName());
    } else if (auto* memory = dynamic_cast<TMemIniFile*>(&ini)) {
        memory->GetStrings(lines);
    } else {
        return;
    }
    lines.SaveToStream(stream);
}

void LoadIniFileFromStream(TCustomIniFile& ini, TStream& stream) {
    auto* disk = dynamic_cast<TIniFile*>(&ini);
    auto* memory = dynamic_cast<TMemIniFile*>(&ini);
    if (!disk && !memory) return;
    TStringList lines;
    lines.LoadFromStream(stream);
    if (disk)
        lines.SaveToFile(disk->FileName());
    else
        memory->SetStrings(lines);
}

// ---- registration -------------------------------------------------------------------------------

void ksRegisterIniBinding() {
    ksRegisterHostModule(kModuleName, [](TksScript* script) {
        return std::unique_ptr<TksRTTIModule>(new TksIniModule(script));
    });
}

void ksUnregisterIniBinding() {
    ksUnregisterHostModule(kModuleName);
}

TksIniModule::TksIniModule(TksScript* script) : TksRTTIModule(script) {
    TksScript& s = *script;
    const TksMethodCallback call = [this](TObject* instance, const TClassInfo* cls,
                                          const std::string& name, TksMethodHelper& caller) {
        return CallMethod(instance, cls, name, caller);
    };
    if (TksClassVariable* c = s.AddClass(TCustomIniFileScriptClass(), "TObject")) {
        c->AddConstructor("constructor Create(const FileName: String)", call);
        c->AddMember(
            "function ReadInteger(const Section, Ident: String; Default: LongInt): LongInt", call);
        c->AddMember("procedure WriteInteger(const Section, Ident: String; Value: LongInt)", call);
        c->AddMember("function ReadBool(const Section, Ident: String; Default: Boolean): Boolean",
                     call);
        c->AddMember("procedure WriteBool(const Section, Ident: String; Value: Boolean)", call);
        c->AddMember(
            "function ReadDate(const Section, Name: String; Default: TDateTime): TDateTime", call);
        c->AddMember("procedure WriteDate(const Section, Name: String; Value: TDateTime)", call);
        c->AddMember(
            "function ReadDateTime(const Section, Name: String; Default: TDateTime): TDateTime",
            call);
        c->AddMember("procedure WriteDateTime(const Section, Name: String; Value: TDateTime)",
                     call);
        c->AddMember("function ReadFloat(const Section, Name: String; Default: Double): Double",
                     call);
        c->AddMember("procedure WriteFloat(const Section, Name: String; Value: Double)", call);
        c->AddMember(
            "function ReadTime(const Section, Name: String; Default: TDateTime): TDateTime", call);
        c->AddMember("procedure WriteTime(const Section, Name: String; Value: TDateTime);", call);
        c->AddMember(
            "function ReadBinaryStream(const Section, Name: String; Value: TStream): Integer",
            call);
        c->AddMember("procedure WriteBinaryStream(const Section, Name: String; Value: TStream)",
                     call);
        c->AddMember("function SectionExists(const Section: String): Boolean", call);
        c->AddMember("function ValueExists(const Section, Ident: String): Boolean", call);
        c->AddMember("procedure WriteTStrings(const Section :String; Value :TStrings; IsClear "
                     ":Boolean = True)",
                     call);
        c->AddMember("function ReadTStrings(const Section :String; Value :TStrings; IsClear "
                     ":Boolean = True): String;",
                     call);
        c->AddProperty("FileName", "String",
                       [](TObject* instance, const TClassInfo* cls, const std::string& name) {
                           if (cls == &TCustomIniFileScriptClass() && name == "FILENAME")
                               return Variant(IniOf(instance).FileName());
                           return Variant(0);
                       });
    }
    const auto addShared = [&](TksClassVariable* c, bool memory) {
        if (memory) c->AddConstructor("constructor Create(const FileName: String)", call);
        c->AddMember("procedure WriteString(const Section, Ident, Value: String)", call);
        c->AddMember("function ReadString(const Section, Ident, Default: String): String;", call);
        c->AddMember("procedure ReadSectionValuesEx(const Section: String; Strings: TStrings)",
                     call);
        c->AddMember("procedure DeleteKey(const Section, Ident: String)", call);
        c->AddMember("procedure ReadSection(const Section: String; Strings: TStrings)", call);
        c->AddMember("procedure ReadSections(Strings: TStrings)", call);
        c->AddMember("procedure ReadSectionValues(const Section: String; Strings: TStrings)", call);
        c->AddMember("procedure EraseSection(const Section: String)", call);
        if (memory) {
            c->AddMember("procedure Clear", call);
            c->AddMember("procedure GetStrings(List: TStrings)", call);
            c->AddMember("procedure SetStrings(List: TStrings)", call);
        }
        c->AddMember("procedure SaveIniFileToStream(oStream: TStream)", call);
        c->AddMember("procedure LoadIniFileFromStream(oStream: TStream)", call);
    };
    if (TksClassVariable* c = s.AddClass(TMemIniFileScriptClass(), "TCustomIniFile"))
        addShared(c, true);
    if (TksClassVariable* c = s.AddClass(TIniFileScriptClass(), "TCustomIniFile"))
        addShared(c, false);
}

Variant TksIniModule::CallMethod(TObject* instance, const TClassInfo* cls, const std::string& name,
                                 TksMethodHelper& caller) {
    if (name == "CREATE") {
        const TClassInfo* target = caller.ConstructClass ? caller.ConstructClass : cls;
        const std::string fileName = Text(caller, 0);
        if (target == &TMemIniFileScriptClass())
            return ksObjectToValue(new TksMemIniFile(fileName));
        if (target == &TIniFileScriptClass()) return ksObjectToValue(new TksIniFile(fileName));
        throw EInvalidOperation("Cannot create an instance of " + target->ClassName());
    }
    TCustomIniFile& ini = IniOf(instance);
    if (cls == &TCustomIniFileScriptClass()) {
        const std::string section = Text(caller, 0);
        if (name == "READINTEGER")
            return Variant(ini.ReadInteger(section, Text(caller, 1), caller.Params(2).AsInteger()));
        if (name == "WRITEINTEGER")
            ini.WriteInteger(section, Text(caller, 1), caller.Params(2).AsInteger());
        if (name == "READBOOL")
            return Variant(ini.ReadBool(section, Text(caller, 1), caller.Params(2).AsBool()));
        if (name == "WRITEBOOL") ini.WriteBool(section, Text(caller, 1), caller.Params(2).AsBool());
        if (name == "READDATE")
            return Variant::FromDate(
                ini.ReadDate(section, Text(caller, 1), caller.Params(2).AsDate()));
        if (name == "WRITEDATE") ini.WriteDate(section, Text(caller, 1), caller.Params(2).AsDate());
        if (name == "READDATETIME")
            return Variant::FromDate(
                ini.ReadDateTime(section, Text(caller, 1), caller.Params(2).AsDate()));
        if (name == "WRITEDATETIME")
            ini.WriteDateTime(section, Text(caller, 1), caller.Params(2).AsDate());
        if (name == "READFLOAT")
            return Variant(ini.ReadFloat(section, Text(caller, 1), caller.Params(2).AsDouble()));
        if (name == "WRITEFLOAT")
            ini.WriteFloat(section, Text(caller, 1), caller.Params(2).AsDouble());
        if (name == "READTIME")
            return Variant::FromDate(
                ini.ReadTime(section, Text(caller, 1), caller.Params(2).AsDate()));
        if (name == "WRITETIME") ini.WriteTime(section, Text(caller, 1), caller.Params(2).AsDate());
        if (name == "READBINARYSTREAM" || name == "WRITEBINARYSTREAM") {
            TStream* stream = ksValueToStream(caller.Params(2));
            if (!stream) InvalidReference();
            if (name == "WRITEBINARYSTREAM") {
                ini.WriteBinaryStream(section, Text(caller, 1), *stream);
                return Variant(0);
            }
            return Variant(ini.ReadBinaryStream(section, Text(caller, 1), *stream));
        }
        if (name == "SECTIONEXISTS") return Variant(ini.SectionExists(section));
        if (name == "VALUEEXISTS") return Variant(ini.ValueExists(section, Text(caller, 1)));
        if (name == "WRITETSTRINGS")
            WriteTStrings(ini, section, StringsArg(caller, 1), FlagArg(caller, 2));
        if (name == "READTSTRINGS")
            ReadTStrings(ini, section, StringsArg(caller, 1), FlagArg(caller, 2));
        return Variant(0);
    }
    if (cls == &TMemIniFileScriptClass() || cls == &TIniFileScriptClass()) {
        if (name == "WRITESTRING")
            ini.WriteString(Text(caller, 0), Text(caller, 1), Text(caller, 2));
        if (name == "READSTRING")
            return Variant(ini.ReadString(Text(caller, 0), Text(caller, 1), Text(caller, 2)));
        if (name == "READSECTIONVALUESEX")
            ReadSectionValuesEx(ini, Text(caller, 0), StringsArg(caller, 1));
        if (name == "DELETEKEY") ini.DeleteKey(Text(caller, 0), Text(caller, 1));
        if (name == "READSECTION") ini.ReadSection(Text(caller, 0), StringsArg(caller, 1));
        if (name == "READSECTIONS") ini.ReadSections(StringsArg(caller, 0));
        if (name == "READSECTIONVALUES")
            ini.ReadSectionValues(Text(caller, 0), StringsArg(caller, 1));
        if (name == "ERASESECTION") ini.EraseSection(Text(caller, 0));
        if (name == "CLEAR" || name == "GETSTRINGS" || name == "SETSTRINGS") {
            auto* memory = dynamic_cast<TMemIniFile*>(&ini);
            if (!memory) InvalidReference();
            if (name == "CLEAR") memory->Clear();
            if (name == "GETSTRINGS") {
                TStrings& list = StringsArg(caller, 0);
                list.Clear();
                memory->GetStrings(list);
            }
            if (name == "SETSTRINGS") memory->SetStrings(StringsArg(caller, 0));
        }
        if (name == "SAVEINIFILETOSTREAM" || name == "LOADINIFILEFROMSTREAM") {
            // A missing stream does nothing.
            TStream* stream = ksValueToStream(caller.Params(0));
            if (!stream) return Variant(0);
            if (name == "SAVEINIFILETOSTREAM")
                SaveIniFileToStream(ini, *stream);
            else
                LoadIniFileFromStream(ini, *stream);
        }
    }
    return Variant(0);
}
