#pragma once
// The process-wide registries that connect the report generator to its optional parts: report
// object classes (the designer's object bar), component editors, property editors, export
// filters and report wizards. Each is created on first use and filled by the start-up code of
// the modules that bring the classes; export filters register their instances when created.

#include <string>
#include <string_view>
#include <vector>

class TBitmap;
class TClassInfo;
class TObject;
class TTypeInfo;
class TpgwComponent;
class TpgwCustomExportFilter;

// Page kinds an object may be put on (PageKinds bits).
inline constexpr int pkDataPage = 1;
inline constexpr int pkReportPage = 2;
inline constexpr int pkDialogPage = 4;
inline constexpr int pkDotMatrixPage = 8;

struct TpgwObjectItem {
    const TClassInfo* ObjectClass = nullptr; // none for a category button
    TBitmap* Picture = nullptr;              // not owned
    int ImageIndex = -1;
    std::string HintKey;
    std::string Category;
    int SubKind = 0;
    int PageKinds = 0;
};

class TpgwObjectCollection {
public:
    // Ignored when the class is there already with the same subKind. Also registers the class
    // by name, so templates can create it. PageKinds 0 is derived from the class.
    void RegisterObject(const TClassInfo& objectClass, TBitmap* picture = nullptr,
                        int pageKinds = 0, int imageIndex = -1, int subKind = 0,
                        std::string_view category = {}, std::string_view hintKey = {});
    void RegisterCategory(std::string_view category, TBitmap* picture, int imageIndex,
                          std::string_view hintKey);
    // Removes every entry of that class.
    void Unregister(const TClassInfo& objectClass);
    const TpgwObjectItem& Items(int index) const {
        return items_.at(static_cast<std::size_t>(index));
    }
    int Count() const { return static_cast<int>(items_.size()); }

private:
    std::vector<TpgwObjectItem> items_;
};

struct TpgwComponentEditorItem {
    const TClassInfo* ComponentClass = nullptr;
    const TClassInfo* EditorClass = nullptr;
};

class TpgwComponentEditorCollection {
public:
    void Register(const TClassInfo& componentClass, const TClassInfo& editorClass);
    // The editor class for a component: an entry for its exact class wins; else the last entry
    // for one of its ancestors; else none. The designer creates the editor from it.
    const TClassInfo* GetComponentEditorClass(const TObject& component) const;
    const TpgwComponentEditorItem& Items(int index) const {
        return items_.at(static_cast<std::size_t>(index));
    }
    int Count() const { return static_cast<int>(items_.size()); }

private:
    std::vector<TpgwComponentEditorItem> items_;
};

struct TpgwPropertyEditorItem {
    const TTypeInfo* PropertyType = nullptr;
    const TClassInfo* ComponentClass = nullptr;
    std::string PropertyName;
    const TClassInfo* EditorClass = nullptr; // none: the property is hidden
};

class TpgwPropertyEditorCollection {
public:
    void Register(const TTypeInfo* propertyType, const TClassInfo* componentClass,
                  std::string_view propertyName, const TClassInfo* editorClass);
    void RegisterEventEditor(const TClassInfo& editorClass);
    // The entry that edits a property of instance, or -1 for the default editor of its kind.
    int GetPropertyEditorIndex(const TTypeInfo* propertyType, const TObject& instance,
                               std::string_view propertyName) const;
    int EventEditorIndex() const { return eventEditorIndex_; }
    const TpgwPropertyEditorItem& Items(int index) const {
        return items_.at(static_cast<std::size_t>(index));
    }
    int Count() const { return static_cast<int>(items_.size()); }

private:
    std::vector<TpgwPropertyEditorItem> items_;
    int eventEditorIndex_ = -1;
};

// Hides the ";"-separated properties of componentClass (and its descendants) from the inspector.
void HideProperties(const TClassInfo& componentClass, std::string_view names);

class TpgwExportFilterCollection {
public:
    // Once per instance; none is ignored.
    void Register(TpgwCustomExportFilter* filter);
    void Unregister(TpgwCustomExportFilter* filter);
    TpgwCustomExportFilter* Items(int index) const {
        return items_.at(static_cast<std::size_t>(index));
    }
    int Count() const { return static_cast<int>(items_.size()); }

private:
    std::vector<TpgwCustomExportFilter*> items_;
};

struct TpgwWizardItem {
    const TClassInfo* WizardClass = nullptr;
    // 0 empty reports, 1 report wizards, 2 to 4 database connection, table and query wizards.
    int Group = 0;
};

class TpgwWizardCollection {
public:
    // Once per class.
    void Register(const TClassInfo& wizardClass, int group);
    void Unregister(const TClassInfo& wizardClass);
    const TpgwWizardItem& Items(int index) const {
        return items_.at(static_cast<std::size_t>(index));
    }
    int Count() const { return static_cast<int>(items_.size()); }

private:
    std::vector<TpgwWizardItem> items_;
};

// Access, creating each registry on first use. The registries live to the end of the process:
// filters and wizards may unregister during shutdown in any order.
TpgwObjectCollection& GetRegisteredObjects();
TpgwComponentEditorCollection& GetComponentEditors();
TpgwPropertyEditorCollection& GetPropertyEditors();
TpgwExportFilterCollection& GetExportFilters();
TpgwWizardCollection& GetWizards();
