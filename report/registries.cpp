#include "report/registries.h"

#include <algorithm>

#include "platform/core/persistent.h"
#include "platform/core/properties.h"
#include "platform/core/text.h"
#include "report/utils.h"

namespace {

const TClassInfo* classOf(const TObject& object) {
    if (auto* p = dynamic_cast<const TPersistent*>(&object)) return &p->ClassType();
    return nullptr;
}

} // namespace

// ---- objects -----------------------------------------------------------------------------------

void TpgwObjectCollection::RegisterObject(const TClassInfo& objectClass, TBitmap* picture,
                                          int pageKinds, int imageIndex, int subKind,
                                          std::string_view category, std::string_view hintKey) {
    for (const TpgwObjectItem& item : items_)
        if (item.ObjectClass == &objectClass && item.SubKind == subKind) return;
    RegisterClass(objectClass);
    if (pageKinds == 0) {
        if (objectClass.InheritsFrom("TpgwDataSet") ||
            objectClass.InheritsFrom("TpgwCustomDatabase"))
            pageKinds = pkDataPage;
        else if (objectClass.InheritsFrom("TpgwDialogControl") ||
                 objectClass.InheritsFrom("TpgwDialogComponent"))
            pageKinds = pkDialogPage;
        else
            pageKinds = pkReportPage;
    }
    items_.push_back({&objectClass, picture, imageIndex, std::string(hintKey),
                      std::string(category), subKind, pageKinds});
}

void TpgwObjectCollection::RegisterCategory(std::string_view category, TBitmap* picture,
                                            int imageIndex, std::string_view hintKey) {
    items_.push_back(
        {nullptr, picture, imageIndex, std::string(hintKey), std::string(category), 0, 0});
}

void TpgwObjectCollection::Unregister(const TClassInfo& objectClass) {
    std::erase_if(items_, [&](const TpgwObjectItem& i) { return i.ObjectClass == &objectClass; });
}

// ---- component editors -------------------------------------------------------------------------

void TpgwComponentEditorCollection::Register(const TClassInfo& componentClass,
                                             const TClassInfo& editorClass) {
    items_.push_back({&componentClass, &editorClass});
}

const TClassInfo*
TpgwComponentEditorCollection::GetComponentEditorClass(const TObject& component) const {
    const TClassInfo* cls = classOf(component);
    if (!cls) return nullptr;
    const TClassInfo* ancestorMatch = nullptr;
    for (const TpgwComponentEditorItem& item : items_) {
        if (item.ComponentClass == cls) return item.EditorClass;
        if (cls->InheritsFrom(*item.ComponentClass)) ancestorMatch = item.EditorClass;
    }
    return ancestorMatch;
}

// ---- property editors --------------------------------------------------------------------------

void TpgwPropertyEditorCollection::Register(const TTypeInfo* propertyType,
                                            const TClassInfo* componentClass,
                                            std::string_view propertyName,
                                            const TClassInfo* editorClass) {
    items_.push_back({propertyType, componentClass, std::string(propertyName), editorClass});
}

void TpgwPropertyEditorCollection::RegisterEventEditor(const TClassInfo& editorClass) {
    items_.push_back({nullptr, nullptr, {}, &editorClass});
    eventEditorIndex_ = static_cast<int>(items_.size()) - 1;
}

int TpgwPropertyEditorCollection::GetPropertyEditorIndex(const TTypeInfo* propertyType,
                                                         const TObject& instance,
                                                         std::string_view propertyName) const {
    if (propertyType) {
        const std::string typeName = LowerCase(propertyType->Name());
        if (typeName.starts_with("tpgw") && typeName.ends_with("event")) return eventEditorIndex_;
    }
    const TClassInfo* cls = classOf(instance);
    int result = -1;
    for (int i = Count() - 1; i >= 0; --i) {
        const TpgwPropertyEditorItem& item = items_[static_cast<std::size_t>(i)];
        if (!item.ComponentClass) {
            if (item.PropertyType != propertyType || !propertyType) continue;
            if (item.PropertyName.empty())
                result = i;
            else if (SameText(item.PropertyName, propertyName))
                return i;
        } else if (cls && cls->InheritsFrom(*item.ComponentClass) && !item.PropertyName.empty() &&
                   SameText(item.PropertyName, propertyName)) {
            return i;
        }
    }
    return result;
}

void HideProperties(const TClassInfo& componentClass, std::string_view names) {
    std::vector<std::string> list;
    SplitText(names, list, ';');
    for (const std::string& name : list)
        GetPropertyEditors().Register(nullptr, &componentClass, name, nullptr);
}

// ---- export filters and wizards ----------------------------------------------------------------

void TpgwExportFilterCollection::Register(TpgwCustomExportFilter* filter) {
    if (!filter || std::find(items_.begin(), items_.end(), filter) != items_.end()) return;
    items_.push_back(filter);
}

void TpgwExportFilterCollection::Unregister(TpgwCustomExportFilter* filter) {
    std::erase(items_, filter);
}

void TpgwWizardCollection::Register(const TClassInfo& wizardClass, int group) {
    for (const TpgwWizardItem& item : items_)
        if (item.WizardClass == &wizardClass) return;
    items_.push_back({&wizardClass, group});
}

void TpgwWizardCollection::Unregister(const TClassInfo& wizardClass) {
    std::erase_if(items_, [&](const TpgwWizardItem& i) { return i.WizardClass == &wizardClass; });
}

// ---- access ------------------------------------------------------------------------------------

TpgwObjectCollection& GetRegisteredObjects() {
    static auto* registry = new TpgwObjectCollection;
    return *registry;
}

TpgwComponentEditorCollection& GetComponentEditors() {
    static auto* registry = new TpgwComponentEditorCollection;
    return *registry;
}

TpgwPropertyEditorCollection& GetPropertyEditors() {
    static auto* registry = new TpgwPropertyEditorCollection;
    return *registry;
}

TpgwExportFilterCollection& GetExportFilters() {
    static auto* registry = new TpgwExportFilterCollection;
    return *registry;
}

TpgwWizardCollection& GetWizards() {
    static auto* registry = new TpgwWizardCollection;
    return *registry;
}
