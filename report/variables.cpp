#include "report/variables.h"

#include "platform/core/properties.h"
#include "platform/core/stream.h"
#include "platform/core/string_list.h"
#include "platform/core/text.h"
#include "report/xml_document.h"
#include "report/xml_serializer.h"

namespace {

bool isHeader(const std::string& name) {
    return !name.empty() && name.front() == ' ';
}

std::string keyText(const Variant& key) {
    if (key.IsNull() || key.IsEmpty() || key.IsArray()) return {};
    return key.AsString();
}

} // namespace

// ---- TpgwVariable ------------------------------------------------------------------------------

TpgwVariable::TpgwVariable(TCollection* collection) : TCollectionItem(collection) {}

void TpgwVariable::RegisterProperties(TClassBuilder<TpgwVariable>& b) {
    b.Add("Name", TypeInfoString(), &TpgwVariable::Name, &TpgwVariable::SetName);
    b.Add("Value", TypeInfoVariant(), &TpgwVariable::Value, &TpgwVariable::SetValue);
}

void TpgwVariable::Assign(const TPersistent* source) {
    if (auto* v = dynamic_cast<const TpgwVariable*>(source)) {
        name_ = v->name_;
        value_ = v->value_;
    }
}

// ---- TpgwVariables -----------------------------------------------------------------------------

TpgwVariables::TpgwVariables() : TCollection(TpgwVariable::StaticClass()) {}

TpgwVariable* TpgwVariables::Add() {
    return static_cast<TpgwVariable*>(TCollection::Add());
}

TpgwVariable* TpgwVariables::Insert(int index) {
    return static_cast<TpgwVariable*>(TCollection::Insert(index));
}

TpgwVariable* TpgwVariables::Items(int index) const {
    return static_cast<TpgwVariable*>(TCollection::Items(index));
}

int TpgwVariables::IndexOf(std::string_view name) const {
    for (int i = 0; i < Count(); ++i)
        if (AnsiSameText(Items(i)->Name(), name)) return i;
    return -1;
}

Variant TpgwVariables::Variables(std::string_view name) const {
    const int i = IndexOf(name);
    return i < 0 ? Variant::Null() : Items(i)->Value();
}

void TpgwVariables::SetVariables(std::string_view name, const Variant& value) {
    const int i = IndexOf(name);
    TpgwVariable* item = i < 0 ? Add() : Items(i);
    if (i < 0) item->SetName(std::string(name));
    item->SetValue(value);
}

void TpgwVariables::GetCategoriesList(TStrings& list, bool clearList) const {
    if (clearList) list.Clear();
    for (int i = 0; i < Count(); ++i) {
        const std::string& name = Items(i)->Name();
        if (isHeader(name)) list.Add(name.substr(1, 255));
    }
}

int TpgwVariables::categoryIndex(std::string_view category) const {
    const std::string header = " " + std::string(category);
    for (int i = 0; i < Count(); ++i)
        if (AnsiSameText(Items(i)->Name(), header)) return i;
    return -1;
}

void TpgwVariables::GetVariablesList(std::string_view category, TStrings& list) const {
    list.Clear();
    int i = 0;
    if (!category.empty()) {
        i = categoryIndex(category);
        if (i < 0) return;
        ++i;
    }
    for (; i < Count(); ++i) {
        const std::string& name = Items(i)->Name();
        // An unnamed item ends the listing like a header does.
        if (name.empty() || isHeader(name)) break;
        list.Add(name);
    }
}

void TpgwVariables::DeleteCategory(std::string_view name) {
    const int i = categoryIndex(name);
    if (i < 0) return;
    BeginUpdate();
    Delete(i);
    while (i < Count() && !isHeader(Items(i)->Name()))
        Delete(i);
    EndUpdate();
}

void TpgwVariables::DeleteVariable(std::string_view name) {
    const int i = IndexOf(name);
    if (i >= 0) Delete(i);
}

void TpgwVariables::AddVariable(std::string_view category, std::string_view name,
                                const Variant& value) {
    int i = categoryIndex(category);
    if (i < 0) return;
    if (const int existing = IndexOf(name); existing >= 0) {
        Items(existing)->SetValue(value);
        return;
    }
    ++i;
    while (i < Count() && !isHeader(Items(i)->Name()))
        ++i;
    TpgwVariable* item = Insert(i);
    item->SetName(std::string(name));
    item->SetValue(value);
}

void TpgwVariables::LoadFromFile(const std::string& fileName) {
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

void TpgwVariables::LoadFromStream(TStream& stream) {
    // The document is read before the collection is touched, so a broken file loses nothing.
    TpgwXMLDocument doc;
    doc.LoadFromStream(stream);
    Clear();
    if (SameText(doc.Root()->Name(), "variables")) LoadFromXMLItem(*doc.Root(), doc.LegacyText());
}

void TpgwVariables::LoadFromXMLItem(TpgwXMLItem& item, bool legacyText) {
    Clear();
    TMemoryStream unused;
    TpgwXMLSerializer serializer(unused);
    serializer.SetLegacyText(legacyText);
    for (int i = 0; i < item.Count(); ++i) {
        TpgwXMLItem& child = *item.Items(i);
        if (!SameText(child.Name(), "item")) continue;
        serializer.XMLToProperties(child.Text(), Add());
    }
}

void TpgwVariables::SaveToFile(const std::string& fileName) {
    TMemoryStream data;
    SaveToStream(data);
    data.SaveToFile(fileName);
}

void TpgwVariables::SaveToStream(TStream& stream) {
    TpgwXMLDocument doc;
    doc.SetIndentOutput(true);
    doc.Root()->SetName("variables");
    SaveToXMLItem(*doc.Root());
    doc.SaveToStream(stream);
}

void TpgwVariables::SaveToXMLItem(TpgwXMLItem& item) {
    TMemoryStream unused;
    TpgwXMLSerializer serializer(unused);
    for (int i = 0; i < Count(); ++i) {
        TpgwXMLItem* child = item.Add();
        child->SetName("item");
        child->SetText(serializer.PropertiesToXML(Items(i), "", nullptr));
    }
}

// ---- TpgwArray ---------------------------------------------------------------------------------

TpgwArray::TpgwArray() : TCollection(TpgwVariable::StaticClass()) {}

TpgwVariable* TpgwArray::Items(int index) const {
    return static_cast<TpgwVariable*>(TCollection::Items(index));
}

int TpgwArray::IndexOf(const Variant& key) const {
    const std::string text = keyText(key);
    for (int i = 0; i < Count(); ++i)
        if (AnsiSameText(Items(i)->Name(), text)) return i;
    return -1;
}

Variant TpgwArray::Variables(const Variant& key) const {
    const int i = IndexOf(key);
    return i < 0 ? Variant::Null() : Items(i)->Value();
}

void TpgwArray::SetVariables(const Variant& key, const Variant& value) {
    const int i = IndexOf(key);
    TpgwVariable* item = i < 0 ? static_cast<TpgwVariable*>(Add()) : Items(i);
    if (i < 0) item->SetName(keyText(key));
    item->SetValue(value);
}
