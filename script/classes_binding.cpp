// Script binding of objects, persistents, collections, lists, string lists, streams, components
// and XML items and documents.
#include "script/classes_binding.h"

#include <algorithm>
#include <string>

#include "platform/core/collection.h"
#include "platform/core/component.h"
#include "platform/core/object_handle.h"
#include "platform/core/persistent.h"
#include "platform/core/string_list.h"
#include "script/script.h"
#include "script/xml_document.h"

namespace {

constexpr const char* kModuleName = "ks_iclassesrtti";

[[noreturn]] void InvalidReference() {
    throw EInvalidObjectReference("Invalid object reference");
}

template <class T> T& As(TObject* instance) {
    auto* object = dynamic_cast<T*>(instance);
    if (!object) InvalidReference();
    return *object;
}

TObject* ObjectArg(TksMethodHelper& caller, int index) {
    return ksValueToObject(caller.Params(index));
}

TStream& StreamArg(TksMethodHelper& caller, int index) {
    TStream* stream = ksValueToStream(caller.Params(index));
    if (!stream) InvalidReference();
    return *stream;
}

std::string TextArg(TksMethodHelper& caller, int index) {
    return VarToStr(caller.Params(index));
}
int IntArg(TksMethodHelper& caller, int index) {
    return caller.Params(index).AsInteger();
}

// An item to move into parent's child list. Not the parent itself or one of its ancestors (the
// cycle would never be freed), and not a document's root, which its document destroys.
TksXMLItem& AdoptedItem(TksMethodHelper& caller, int index, const TksXMLItem& parent) {
    auto* item = dynamic_cast<TksXMLItem*>(ObjectArg(caller, index));
    if (!item) InvalidReference();
    if (item->IsDocumentRoot())
        throw EInvalidOperation("The root item of a document cannot be moved");
    for (const TksXMLItem* p = &parent; p; p = p->Parent())
        if (p == item) throw EInvalidOperation("An XML item cannot be added to its own subtree");
    return *item;
}

TSeekOrigin SeekOrigin(int origin) {
    switch (origin) {
    case 0:
        return TSeekOrigin::soBeginning;
    case 1:
        return TSeekOrigin::soCurrent;
    case 2:
        return TSeekOrigin::soEnd;
    default:
        throw EStreamError("Invalid seek origin " + std::to_string(origin));
    }
}

// The scripts' fmCreate is 65535: every bit of the low word, share bits included.
unsigned FileMode(int mode) {
    const auto bits = static_cast<unsigned>(mode) & 0xFFFFu;
    if ((bits & 0xFF00u) == 0xFF00u) return bits == 0xFFFFu ? fmCreate : fmCreate | (bits & 0xF0u);
    return bits;
}

// A memory stream fills the gap before a write past its end with zeros, so a position far past
// the end would make the next write allocate whatever the script named. Gaps of ordinary size
// stay allowed, as the class library allows them.
constexpr std::int64_t kMaxMemoryGap = 64 * 1024 * 1024;
bool PastMemoryEnd(TStream& stream, std::int64_t position) {
    return dynamic_cast<TMemoryStream*>(&stream) && position > stream.Size() + kMaxMemoryGap;
}

Variant Int64Value(std::int64_t v) {
    return Variant(static_cast<long long>(v));
}

// Objects of the constructor's class: the persistent classes' own virtual constructor, the
// classes of this module by hand.
TObject* ConstructObject(const TClassInfo& cls, TComponent* owner) {
    if (&cls == &TObjectClassInfo()) return new TObject();
    if (&cls == &TListScriptClass()) return new TksList();
    if (&cls == &TMemoryStreamScriptClass()) return new TksMemoryStream();
    if (!cls.CanCreate())
        throw EInvalidOperation("Cannot create an instance of " + cls.ClassName() +
                                " without arguments");
    return cls.Create(owner);
}

} // namespace

// ---- class metadata and helpers
// -------------------------------------------------------------------

const TClassInfo& TListScriptClass() {
    static const TClassInfo info("TList", &TObjectClassInfo(), nullptr, nullptr, nullptr);
    return info;
}

const TClassInfo& TStreamScriptClass() {
    static const TClassInfo info("TStream", &TObjectClassInfo(), nullptr, nullptr, nullptr);
    return info;
}

const TClassInfo& TFileStreamScriptClass() {
    static const TClassInfo info("TFileStream", &TStreamScriptClass(), nullptr, nullptr, nullptr);
    return info;
}

const TClassInfo& TMemoryStreamScriptClass() {
    static const TClassInfo info("TMemoryStream", &TStreamScriptClass(), nullptr, nullptr, nullptr);
    return info;
}

const TClassInfo& TksXMLItemScriptClass() {
    static const TClassInfo info("TksXMLItem", &TObjectClassInfo(), nullptr, nullptr, nullptr);
    return info;
}

const TClassInfo& TksXMLDocumentScriptClass() {
    static const TClassInfo info("TksXMLDocument", &TObjectClassInfo(), nullptr, nullptr, nullptr);
    return info;
}

std::string ksScriptClassName(const TObject* object) {
    if (auto* p = dynamic_cast<const TPersistent*>(object)) return p->ClassName();
    if (auto* s = dynamic_cast<const IksScriptClass*>(object)) return s->ScriptClass().ClassName();
    if (dynamic_cast<const TStream*>(object)) return "TStream";
    if (dynamic_cast<const TksXMLItem*>(object)) return TksXMLItemScriptClass().ClassName();
    if (dynamic_cast<const TksXMLDocument*>(object)) return TksXMLDocumentScriptClass().ClassName();
    return "TObject";
}

TStream* ksValueToStream(const Variant& value) {
    TObject* object = ksValueToObject(value);
    if (!object) return nullptr;
    auto* stream = dynamic_cast<TStream*>(object);
    if (!stream) InvalidReference();
    return stream;
}

// ---- TksList
// ----------------------------------------------------------------------------------------

void TksList::CheckIndex(int index, int limit) const {
    if (index < 0 || index > limit)
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

TObject* TksList::Items(int index) const {
    CheckIndex(index, Count() - 1);
    return ObjectHandles::Resolve<TObject>(handles_[static_cast<std::size_t>(index)]);
}

void TksList::SetItems(int index, TObject* item) {
    CheckIndex(index, Count() - 1);
    handles_[static_cast<std::size_t>(index)] = ObjectHandles::HandleOf(item);
}

int TksList::Add(TObject* item) {
    handles_.push_back(ObjectHandles::HandleOf(item));
    return Count() - 1;
}

void TksList::Delete(int index) {
    CheckIndex(index, Count() - 1);
    handles_.erase(handles_.begin() + index);
}

int TksList::IndexOf(TObject* item) const {
    const std::int32_t handle = ObjectHandles::HandleOf(item);
    auto it = std::find(handles_.begin(), handles_.end(), handle);
    return it == handles_.end() ? -1 : static_cast<int>(it - handles_.begin());
}

void TksList::Insert(int index, TObject* item) {
    CheckIndex(index, Count());
    handles_.insert(handles_.begin() + index, ObjectHandles::HandleOf(item));
}

int TksList::Remove(TObject* item) {
    const int index = IndexOf(item);
    if (index >= 0) Delete(index);
    return index;
}

// ---- registration
// -----------------------------------------------------------------------------------

void ksRegisterClassesBinding() {
    ksRegisterHostModule(kModuleName, [](TksScript* script) {
        return std::unique_ptr<TksRTTIModule>(new TksClassesModule(script));
    });
}

void ksUnregisterClassesBinding() {
    ksUnregisterHostModule(kModuleName);
}

TksClassesModule::TksClassesModule(TksScript* script) : TksRTTIModule(script) {
    TksScript& s = *script;
    const std::pair<const char*, int> constants[] = {
        {"fmCreate", 65535},     {"fmOpenRead", 0},        {"fmOpenWrite", 1},
        {"fmOpenReadWrite", 2},  {"fmShareExclusive", 16}, {"fmShareDenyWrite", 32},
        {"fmShareDenyNone", 64}, {"soFromBeginning", 0},   {"soFromCurrent", 1},
        {"soFromEnd", 2},
    };
    for (const auto& [name, value] : constants)
        s.AddConst(name, "Integer", Variant(value));
    s.AddEnum("TDuplicates", "dupIgnore, dupAccept, dupError");
    s.AddEnum("TPrinterOrientation", "poPortrait, poLandscape");

    const TksMethodCallback call = [this](TObject* instance, const TClassInfo* cls,
                                          const std::string& name, TksMethodHelper& caller) {
        return CallMethod(instance, cls, name, caller);
    };
    const TksPropertyGetter get = [this](TObject* instance, const TClassInfo* cls,
                                         const std::string& name) {
        return GetProp(instance, cls, name);
    };
    const TksPropertySetter set = [this](TObject* instance, const TClassInfo* cls,
                                         const std::string& name, const Variant& value) {
        SetProp(instance, cls, name, value);
    };

    if (TksClassVariable* c = s.AddClass(TObjectClassInfo(), "")) {
        c->AddConstructor("constructor Create", call);
        c->AddMember("procedure Free", call);
        c->AddMember("function ClassName: String", call);
    }
    if (TksClassVariable* c = s.AddClass(TPersistent::StaticClass(), "TObject"))
        c->AddMember("procedure Assign(Source: TPersistent)", call);
    s.AddClass(TCollectionItem::StaticClass(), "TPersistent");
    if (TksClassVariable* c = s.AddClass(TCollection::StaticClass(), "TPersistent")) {
        c->AddMember("procedure Clear", call);
        c->AddProperty("Count", "Integer", get);
        c->AddDefaultIndexedProperty("Items", "Integer", "TCollectionItem", call, true);
    }
    if (TksClassVariable* c = s.AddClass(TListScriptClass(), "TObject")) {
        c->AddMember("function Add(Item: TObject): Integer", call);
        c->AddMember("procedure Clear", call);
        c->AddMember("procedure Delete(Index: Integer)", call);
        c->AddMember("function IndexOf(Item: TObject): Integer", call);
        c->AddMember("procedure Insert(Index: Integer; Item: TObject)", call);
        c->AddMember("function Remove(Item: TObject): Integer", call);
        c->AddProperty("Count", "Integer", get);
        c->AddDefaultIndexedProperty("Items", "Integer", "TObject", call, false);
    }
    if (TksClassVariable* c = s.AddClass(TStrings::StaticClass(), "TPersistent")) {
        c->AddMember("function Add(const S: string): Integer", call);
        c->AddMember("function AddObject(const S: string; AObject: TObject): Integer", call);
        c->AddMember("procedure Clear", call);
        c->AddMember("procedure Delete(Index: Integer)", call);
        c->AddMember("function IndexOf(const S: string): Integer", call);
        c->AddMember("function IndexOfName(const Name: string): Integer", call);
        c->AddMember("function IndexOfObject(AObject: TObject): Integer", call);
        c->AddMember("procedure Insert(Index: Integer; const S: string)", call);
        c->AddMember("procedure InsertObject(Index: Integer; const S: string; AObject: TObject)",
                     call);
        c->AddMember("procedure LoadFromFile(const FileName: string)", call);
        c->AddMember("procedure LoadFromStream(Stream: TStream)", call);
        c->AddMember("procedure SaveToFile(const FileName: string)", call);
        c->AddMember("procedure Move(CurIndex, NewIndex: Integer)", call);
        c->AddMember("procedure SaveToStream(Stream: TStream)", call);
        c->AddProperty("CommaText", "string", get, set);
        c->AddProperty("Count", "Integer", get);
        c->AddIndexedProperty("Names", "Integer", "string", call, true);
        c->AddIndexedProperty("Objects", "Integer", "TObject", call, false);
        c->AddIndexedProperty("Values", "String", "string", call, false);
        c->AddDefaultIndexedProperty("Strings", "Integer", "string", call, false);
        c->AddProperty("Text", "string", get, set);
    }
    if (TksClassVariable* c = s.AddClass(TStringList::StaticClass(), "TStrings")) {
        c->AddMember("function Find(s: String; var Index: Integer): Boolean", call);
        c->AddMember("procedure Sort", call);
        c->AddProperty("Duplicates", "TDuplicates", get, set);
        c->AddProperty("Sorted", "Boolean", get, set);
    }
    if (TksClassVariable* c = s.AddClass(TStreamScriptClass(), "TObject")) {
        c->AddMember("function Read(var Buffer: string; Count: Longint): Longint", call);
        c->AddMember("function Write(Buffer: string; Count: Longint): Longint", call);
        c->AddMember("function Seek(Offset: Longint; Origin: Word): Longint", call);
        c->AddMember("function CopyFrom(Source: TStream; Count: Longint): Longint", call);
        c->AddProperty("Position", "Longint", get, set);
        c->AddProperty("Size", "Longint", get);
    }
    if (TksClassVariable* c = s.AddClass(TFileStreamScriptClass(), "TStream"))
        c->AddConstructor("constructor Create(Filename: String; Mode: Word)", call);
    if (TksClassVariable* c = s.AddClass(TMemoryStreamScriptClass(), "TStream")) {
        c->AddMember("procedure Clear", call);
        c->AddMember("procedure LoadFromStream(Stream: TStream)", call);
        c->AddMember("procedure LoadFromFile(Filename: String)", call);
        c->AddMember("procedure SaveToStream(Stream: TStream)", call);
        c->AddMember("procedure SaveToFile(Filename: String)", call);
    }
    if (TksClassVariable* c = s.AddClass(TComponent::StaticClass(), "TPersistent")) {
        c->AddConstructor("constructor Create(AOwner: TComponent)", call);
        c->AddProperty("Owner", "TComponent", get);
    }
    if (TksClassVariable* c = s.AddClass(TksXMLItemScriptClass(), "TObject")) {
        c->AddConstructor("constructor Create", call);
        c->AddMember("procedure AddItem(Item: TksXMLItem)", call);
        c->AddMember("procedure Clear", call);
        c->AddMember("procedure InsertItem(Index: Integer; Item: TksXMLItem)", call);
        c->AddMember("function Add: TksXMLItem", call);
        c->AddMember("function Find(const Name: String): Integer", call);
        c->AddMember("function FindItem(const Name: String): TksXMLItem", call);
        c->AddMember("function Root: TksXMLItem", call);
        c->AddProperty("Data", "Integer", get, set);
        c->AddProperty("Count", "Integer", get);
        c->AddDefaultIndexedProperty("Items", "Integer", "TksXMLItem", call, true);
        c->AddIndexedProperty("Prop", "String", "String", call, false);
        c->AddProperty("Name", "String", get, set);
        c->AddProperty("Parent", "TksXMLItem", get);
        c->AddProperty("Text", "String", get, set);
    }
    if (TksClassVariable* c = s.AddClass(TksXMLDocumentScriptClass(), "TObject")) {
        c->AddConstructor("constructor Create", call);
        c->AddMember("procedure SaveToStream(Stream: TStream)", call);
        c->AddMember("procedure LoadFromStream(Stream: TStream)", call);
        c->AddMember("procedure SaveToFile(const FileName: String)", call);
        c->AddMember("procedure LoadFromFile(const FileName: String)", call);
        c->AddProperty("Root", "TksXMLItem", get);
    }
}

// ---- callbacks
// ----------------------------------------------------------------------------------------

Variant TksClassesModule::CallMethod(TObject* instance, const TClassInfo* cls,
                                     const std::string& name, TksMethodHelper& caller) {
    const TClassInfo* constructClass = caller.ConstructClass ? caller.ConstructClass : cls;
    if (cls == &TObjectClassInfo()) {
        if (name == "CREATE") return ksObjectToValue(ConstructObject(*constructClass, nullptr));
        if (name == "FREE") {
            if (auto* item = dynamic_cast<TksXMLItem*>(instance); item && item->IsDocumentRoot())
                throw EInvalidOperation("The root item of a document is freed with the document");
            delete instance;
            return Variant(0);
        }
        if (name == "CLASSNAME") {
            if (!instance) InvalidReference();
            return Variant(ksScriptClassName(instance));
        }
    } else if (cls == &TPersistent::StaticClass()) {
        if (name == "ASSIGN") {
            TObject* object = ObjectArg(caller, 0);
            auto* source = dynamic_cast<TPersistent*>(object);
            if (object && !source) InvalidReference();
            As<TPersistent>(instance).Assign(source);
        }
    } else if (cls == &TCollection::StaticClass()) {
        auto& c = As<TCollection>(instance);
        if (name == "CLEAR") c.Clear();
        if (name == "ITEMS.GET") return ksObjectToValue(c.Items(IntArg(caller, 0)));
    } else if (cls == &TListScriptClass()) {
        auto& l = As<TksList>(instance);
        if (name == "ADD") return Variant(l.Add(ObjectArg(caller, 0)));
        if (name == "CLEAR") l.Clear();
        if (name == "DELETE") l.Delete(IntArg(caller, 0));
        if (name == "INDEXOF") return Variant(l.IndexOf(ObjectArg(caller, 0)));
        if (name == "INSERT") l.Insert(IntArg(caller, 0), ObjectArg(caller, 1));
        if (name == "REMOVE") return Variant(l.Remove(ObjectArg(caller, 0)));
        if (name == "ITEMS.GET") return ksObjectToValue(l.Items(IntArg(caller, 0)));
        if (name == "ITEMS.SET") l.SetItems(IntArg(caller, 0), ObjectArg(caller, 1));
    } else if (cls == &TStrings::StaticClass()) {
        auto& l = As<TStrings>(instance);
        if (name == "ADD") return Variant(l.Add(TextArg(caller, 0)));
        if (name == "ADDOBJECT")
            return Variant(l.AddObject(TextArg(caller, 0), RememberObject(ObjectArg(caller, 1))));
        if (name == "CLEAR") l.Clear();
        if (name == "DELETE") l.Delete(IntArg(caller, 0));
        if (name == "INDEXOF") return Variant(l.IndexOf(TextArg(caller, 0)));
        if (name == "INDEXOFNAME") return Variant(l.IndexOfName(TextArg(caller, 0)));
        if (name == "INDEXOFOBJECT") return Variant(l.IndexOfObject(ObjectArg(caller, 0)));
        if (name == "INSERT") l.Insert(IntArg(caller, 0), TextArg(caller, 1));
        if (name == "INSERTOBJECT")
            l.InsertObject(IntArg(caller, 0), TextArg(caller, 1),
                           RememberObject(ObjectArg(caller, 2)));
        if (name == "LOADFROMFILE") l.LoadFromFile(TextArg(caller, 0));
        if (name == "LOADFROMSTREAM") l.LoadFromStream(StreamArg(caller, 0));
        if (name == "SAVETOFILE") l.SaveToFile(TextArg(caller, 0));
        if (name == "MOVE") l.Move(IntArg(caller, 0), IntArg(caller, 1));
        if (name == "SAVETOSTREAM") l.SaveToStream(StreamArg(caller, 0));
        if (name == "NAMES.GET") return Variant(l.Names(IntArg(caller, 0)));
        if (name == "OBJECTS.GET") return StoredObjectValue(l.Objects(IntArg(caller, 0)));
        if (name == "OBJECTS.SET")
            l.SetObjects(IntArg(caller, 0), RememberObject(ObjectArg(caller, 1)));
        if (name == "VALUES.GET") return Variant(l.Values(TextArg(caller, 0)));
        if (name == "VALUES.SET") l.SetValues(TextArg(caller, 0), TextArg(caller, 1));
        if (name == "STRINGS.GET") return Variant(l.Strings(IntArg(caller, 0)));
        if (name == "STRINGS.SET") l.SetStrings(IntArg(caller, 0), TextArg(caller, 1));
    } else if (cls == &TStringList::StaticClass()) {
        auto& l = As<TStringList>(instance);
        if (name == "FIND") {
            int index = 0;
            const bool found = l.Find(TextArg(caller, 0), index);
            caller.SetParams(1, Variant(index));
            return Variant(found);
        }
        if (name == "SORT") l.Sort();
    } else if (cls == &TStreamScriptClass()) {
        TStream& s = As<TStream>(instance);
        if (name == "READ") {
            const std::int64_t count = std::max<std::int64_t>(0, caller.Params(1).AsInt64());
            // No more room than the stream can fill: a huge Count must not allocate it all.
            const std::int64_t room = std::max<std::int64_t>(0, s.Size() - s.Position());
            std::string buffer(static_cast<std::size_t>(std::min(count, room)), '\0');
            const std::int64_t got =
                s.Read(buffer.data(), static_cast<std::int64_t>(buffer.size()));
            buffer.resize(static_cast<std::size_t>(got));
            caller.SetParams(0, Variant(std::move(buffer)));
            return Int64Value(got);
        }
        if (name == "WRITE") {
            const std::string buffer = TextArg(caller, 0);
            const std::int64_t count = std::clamp<std::int64_t>(
                caller.Params(1).AsInt64(), 0, static_cast<std::int64_t>(buffer.size()));
            return Int64Value(s.Write(buffer.data(), count));
        }
        if (name == "SEEK") {
            const std::int64_t before = s.Position();
            const std::int64_t now =
                s.Seek(caller.Params(0).AsInteger(), SeekOrigin(IntArg(caller, 1)));
            if (PastMemoryEnd(s, now)) {
                s.SetPosition(before);
                throw EStreamError("Invalid stream position");
            }
            return Int64Value(now);
        }
        if (name == "COPYFROM")
            return Int64Value(s.CopyFrom(StreamArg(caller, 0), caller.Params(1).AsInt64()));
    } else if (cls == &TFileStreamScriptClass()) {
        if (name == "CREATE")
            return ksObjectToValue(
                new TksFileStream(TextArg(caller, 0), FileMode(IntArg(caller, 1))));
    } else if (cls == &TMemoryStreamScriptClass()) {
        auto& m = As<TMemoryStream>(instance);
        if (name == "CLEAR") m.Clear();
        if (name == "LOADFROMSTREAM") m.LoadFromStream(StreamArg(caller, 0));
        if (name == "LOADFROMFILE") m.LoadFromFile(TextArg(caller, 0));
        if (name == "SAVETOSTREAM") m.SaveToStream(StreamArg(caller, 0));
        if (name == "SAVETOFILE") m.SaveToFile(TextArg(caller, 0));
    } else if (cls == &TComponent::StaticClass()) {
        if (name == "CREATE") {
            const TClassInfo& target = *constructClass;
            if (!target.InheritsFrom(TComponent::StaticClass()))
                throw EInvalidOperation(target.ClassName() + " is not a component class");
            auto* owner = dynamic_cast<TComponent*>(ObjectArg(caller, 0));
            if (!owner && ObjectArg(caller, 0)) InvalidReference();
            return ksObjectToValue(ConstructObject(target, owner));
        }
    } else if (cls == &TksXMLItemScriptClass()) {
        // A created item has no parent: whoever created it frees it, unless a parent adopts it.
        if (name == "CREATE") return ksObjectToValue(new TksXMLItem());
        auto& x = As<TksXMLItem>(instance);
        if (name == "ADDITEM") x.AddItem(&AdoptedItem(caller, 0, x));
        if (name == "CLEAR") x.Clear();
        if (name == "INSERTITEM") x.InsertItem(IntArg(caller, 0), &AdoptedItem(caller, 1, x));
        if (name == "ADD") return ksObjectToValue(x.Add());
        if (name == "FIND") return Variant(x.Find(TextArg(caller, 0)));
        if (name == "FINDITEM") return ksObjectToValue(x.FindItem(TextArg(caller, 0)));
        if (name == "ROOT") return ksObjectToValue(x.Root());
        if (name == "ITEMS.GET") return ksObjectToValue(x.Items(IntArg(caller, 0)));
        if (name == "PROP.GET") return Variant(x.Prop(TextArg(caller, 0)));
        if (name == "PROP.SET") x.SetProp(TextArg(caller, 0), TextArg(caller, 1));
    } else if (cls == &TksXMLDocumentScriptClass()) {
        if (name == "CREATE") return ksObjectToValue(new TksXMLDocument());
        auto& d = As<TksXMLDocument>(instance);
        if (name == "SAVETOSTREAM") d.SaveToStream(StreamArg(caller, 0));
        if (name == "LOADFROMSTREAM") d.LoadFromStream(StreamArg(caller, 0));
        if (name == "SAVETOFILE") d.SaveToFile(TextArg(caller, 0));
        if (name == "LOADFROMFILE") d.LoadFromFile(TextArg(caller, 0));
    }
    return Variant(0);
}

TObject* TksClassesModule::RememberObject(TObject* object) {
    if (object) storedObjects_[object] = ObjectHandles::HandleOf(object);
    return object;
}

Variant TksClassesModule::StoredObjectValue(TObject* object) const {
    auto it = storedObjects_.find(object);
    if (it == storedObjects_.end()) return ksObjectToValue(object); // put there by the host
    if (!ObjectHandles::IsValid(it->second)) InvalidReference();
    return Variant::FromHandle(it->second);
}

Variant TksClassesModule::GetProp(TObject* instance, const TClassInfo* cls,
                                  const std::string& name) {
    if (cls == &TCollection::StaticClass()) {
        if (name == "COUNT") return Variant(As<TCollection>(instance).Count());
    } else if (cls == &TListScriptClass()) {
        if (name == "COUNT") return Variant(As<TksList>(instance).Count());
    } else if (cls == &TStrings::StaticClass()) {
        auto& l = As<TStrings>(instance);
        if (name == "COMMATEXT") return Variant(l.CommaText());
        if (name == "COUNT") return Variant(l.Count());
        if (name == "TEXT") return Variant(l.Text());
    } else if (cls == &TStringList::StaticClass()) {
        auto& l = As<TStringList>(instance);
        if (name == "DUPLICATES") return Variant(static_cast<int>(l.Duplicates()));
        if (name == "SORTED") return Variant(l.Sorted());
    } else if (cls == &TStreamScriptClass()) {
        TStream* s = &As<TStream>(instance);
        if (name == "POSITION") return Int64Value(s->Position());
        if (name == "SIZE") return Int64Value(s->Size());
    } else if (cls == &TComponent::StaticClass()) {
        if (name == "OWNER") return ksObjectToValue(As<TComponent>(instance).Owner());
    } else if (cls == &TksXMLItemScriptClass()) {
        auto& x = As<TksXMLItem>(instance);
        if (name == "DATA") return Variant(x.Data());
        if (name == "COUNT") return Variant(x.Count());
        if (name == "NAME") return Variant(x.Name());
        if (name == "PARENT") return ksObjectToValue(x.Parent());
        if (name == "TEXT") return Variant(x.Text());
    } else if (cls == &TksXMLDocumentScriptClass()) {
        if (name == "ROOT") return ksObjectToValue(As<TksXMLDocument>(instance).Root());
    }
    return Variant(0);
}

void TksClassesModule::SetProp(TObject* instance, const TClassInfo* cls, const std::string& name,
                               const Variant& value) {
    if (cls == &TStrings::StaticClass()) {
        auto& l = As<TStrings>(instance);
        if (name == "COMMATEXT") l.SetCommaText(VarToStr(value));
        if (name == "TEXT") l.SetText(VarToStr(value));
    } else if (cls == &TStringList::StaticClass()) {
        auto& l = As<TStringList>(instance);
        if (name == "DUPLICATES") {
            const int d = value.AsInteger();
            if (d < dupIgnore || d > dupError)
                throw ERangeError("Duplicates value out of range: " + std::to_string(d));
            l.SetDuplicates(static_cast<TDuplicates>(d));
        }
        if (name == "SORTED") l.SetSorted(value.AsBool());
    } else if (cls == &TStreamScriptClass()) {
        TStream* s = &As<TStream>(instance);
        if (name == "POSITION") {
            const std::int64_t position = value.AsInt64();
            if (PastMemoryEnd(*s, position)) throw EStreamError("Invalid stream position");
            s->SetPosition(position);
        }
    } else if (cls == &TksXMLItemScriptClass()) {
        auto& x = As<TksXMLItem>(instance);
        if (name == "DATA") x.SetData(value.AsInteger());
        if (name == "NAME") x.SetName(VarToStr(value));
        if (name == "TEXT") x.SetText(VarToStr(value));
    }
}
