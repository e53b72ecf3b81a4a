#pragma once
// Script binding of the fundamental classes: the object root, persistent objects, collections,
// object lists, string lists, streams, components and the engine's XML items and documents.
// Every other binding registers its classes as descendants of these, so Create, Free, ClassName
// and Assign reach all script classes.
//
// Scripts hold objects as checked handles of TObject. Classes of the platform that are not
// TObjects (streams) reach scripts as the TObject-derived classes below; a host that hands a
// stream to a script hands one of those (or any class deriving from TObject and TStream).

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "platform/core/stream.h"
#include "script/runtime.h"

class TClassInfo;

// Script classes that are not persistent name their script class through this interface.
class IksScriptClass {
public:
    virtual ~IksScriptClass() = default;
    virtual const TClassInfo& ScriptClass() const = 0;
};

// The script class metadata of the classes that have none in the platform.
const TClassInfo& TListScriptClass();
const TClassInfo& TStreamScriptClass();
const TClassInfo& TFileStreamScriptClass();
const TClassInfo& TMemoryStreamScriptClass();
const TClassInfo& TksXMLItemScriptClass();
const TClassInfo& TksXMLDocumentScriptClass();

// A list of object references (the scripts' TList). It keeps handles, not pointers, so an
// object freed while listed reads back as an invalid reference instead of a dangling one.
class TksList : public TObject, public IksScriptClass {
public:
    const TClassInfo& ScriptClass() const override { return TListScriptClass(); }
    int Count() const { return static_cast<int>(handles_.size()); }
    // EListError "List index out of bounds (n)" outside 0..Count-1; EInvalidObjectReference
    // for an object freed since it was listed.
    TObject* Items(int index) const;
    void SetItems(int index, TObject* item);
    int Add(TObject* item);
    void Clear() { handles_.clear(); }
    void Delete(int index);
    int IndexOf(TObject* item) const;
    // An index equal to Count appends.
    void Insert(int index, TObject* item);
    // The index the object had, or -1.
    int Remove(TObject* item);

private:
    void CheckIndex(int index, int limit) const;
    std::vector<std::int32_t> handles_;
};

class TksMemoryStream : public TObject, public TMemoryStream, public IksScriptClass {
public:
    const TClassInfo& ScriptClass() const override { return TMemoryStreamScriptClass(); }
};

class TksFileStream : public TObject, public TFileStream, public IksScriptClass {
public:
    using TFileStream::TFileStream;
    const TClassInfo& ScriptClass() const override { return TFileStreamScriptClass(); }
};

// The class name scripts see for an object.
std::string ksScriptClassName(const TObject* object);
// A stream argument: nullptr for nil; EInvalidObjectReference for a value that is no stream.
TStream* ksValueToStream(const Variant& value);

class TksClassesModule : public TksRTTIModule {
public:
    explicit TksClassesModule(TksScript* script);

private:
    Variant CallMethod(TObject* instance, const TClassInfo* classType, const std::string& name,
                       TksMethodHelper& caller);
    Variant GetProp(TObject* instance, const TClassInfo* classType, const std::string& name);
    void SetProp(TObject* instance, const TClassInfo* classType, const std::string& name,
                 const Variant& value);
    // String lists keep raw object pointers. The objects scripts store there are remembered
    // with their handles, so one freed since reads back as an invalid reference instead of a
    // dangling pointer.
    TObject* RememberObject(TObject* object);
    Variant StoredObjectValue(TObject* object) const;
    std::unordered_map<const TObject*, std::int32_t> storedObjects_;
};

// Adds the module to the host module list (once), after the modules already there.
void ksRegisterClassesBinding();
void ksUnregisterClassesBinding();
