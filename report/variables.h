#pragma once
// Report variables: named values grouped under categories (an item whose name begins with a
// blank heads a category), the variables file, and the associative array of scripts.

#include <string>
#include <string_view>

#include "platform/core/collection.h"
#include "platform/core/variant.h"

class TStream;
class TStrings;
class TpgwXMLItem;

class TpgwVariable : public TCollectionItem {
    LUMETRA_CLASS(TpgwVariable, TCollectionItem)
public:
    explicit TpgwVariable(TCollection* collection);
    static void RegisterProperties(TClassBuilder<TpgwVariable>& b);

    const std::string& Name() const { return name_; }
    void SetName(const std::string& value) { name_ = value; }
    const Variant& Value() const { return value_; }
    void SetValue(const Variant& value) { value_ = value; }

    // Copies Name and Value from another variable; anything else is ignored.
    void Assign(const TPersistent* source) override;
    std::string DisplayName() const override { return name_; }

private:
    std::string name_;
    Variant value_ = Variant::Null();
};

class TpgwVariables : public TCollection {
    LUMETRA_CLASS(TpgwVariables, TCollection)
public:
    TpgwVariables();

    TpgwVariable* Add();
    TpgwVariable* Insert(int index);
    TpgwVariable* Items(int index) const;
    // First item of that name (case ignored), headers included, or -1.
    int IndexOf(std::string_view name) const;
    // Null for a missing name.
    Variant Variables(std::string_view name) const;
    // Appends an item when the name is missing.
    void SetVariables(std::string_view name, const Variant& value);

    // Category names (without the leading blank, at most 255 characters) in order.
    void GetCategoriesList(TStrings& list, bool clearList = true) const;
    // The variables of a category; an empty category gives those before the first header.
    void GetVariablesList(std::string_view category, TStrings& list) const;
    void DeleteCategory(std::string_view name);
    void DeleteVariable(std::string_view name);
    // Sets an existing variable of that name anywhere, or inserts one at the end of the
    // category; nothing when the category is missing.
    void AddVariable(std::string_view category, std::string_view name, const Variant& value);

    void LoadFromFile(const std::string& fileName);
    // A malformed file raises and leaves the collection as it was.
    void LoadFromStream(TStream& stream);
    void LoadFromXMLItem(TpgwXMLItem& item, bool legacyText);
    // Atomic: the file is the old one or the complete new one.
    void SaveToFile(const std::string& fileName);
    void SaveToStream(TStream& stream);
    void SaveToXMLItem(TpgwXMLItem& item);

private:
    int categoryIndex(std::string_view category) const;
};

// An ordered map from any value (kept by its text form) to a value.
class TpgwArray : public TCollection {
    LUMETRA_CLASS(TpgwArray, TCollection)
public:
    TpgwArray();

    TpgwVariable* Items(int index) const;
    int IndexOf(const Variant& key) const;
    Variant Variables(const Variant& key) const;
    void SetVariables(const Variant& key, const Variant& value);
};
