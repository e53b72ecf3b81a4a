// Class metadata, the class registry and TPersistent.
#include "platform/core/persistent.h"

#include <unordered_map>

#include "platform/core/object_handle.h"
#include "platform/core/properties.h"
#include "platform/core/text.h"

// ---- TClassInfo --------------------------------------------------------------------------------

TClassInfo::TClassInfo(std::string name, const TClassInfo* parent, Factory factory,
                       ItemFactory itemFactory, PropertyRegistrar registrar)
    : name_(std::move(name)), parent_(parent), depth_(parent ? parent->depth_ + 1 : 0),
      factory_(factory), itemFactory_(itemFactory), registrar_(registrar) {}

TClassInfo::~TClassInfo() = default;

bool TClassInfo::InheritsFrom(const TClassInfo& ancestor) const {
    // Walk only as far as the ancestor's depth allows.
    const TClassInfo* c = this;
    for (int d = depth_; c && d > ancestor.depth_; --d)
        c = c->parent_;
    return c == &ancestor;
}

bool TClassInfo::InheritsFrom(std::string_view ancestorName) const {
    for (const TClassInfo* c = this; c; c = c->parent_)
        if (SameText(c->name_, ancestorName)) return true;
    return false;
}

TPersistent* TClassInfo::Create(TComponent* owner) const {
    if (!factory_) throw EFilerError("Cannot create an instance of " + name_);
    return factory_(owner);
}

TCollectionItem* TClassInfo::CreateItem(TCollection* collection) const {
    if (!itemFactory_) throw EFilerError("Cannot create an item of " + name_);
    return itemFactory_(collection);
}

const TPropTable& TClassInfo::Properties() const {
    std::call_once(propsOnce_, [this] {
        auto table = std::make_unique<TPropTable>();
        const TPropTable* parentTable = parent_ ? &parent_->Properties() : nullptr;
        TPropTableBuilder builder(*this, *table, parentTable);
        if (registrar_) registrar_(builder);
        builder.Finish();
        props_ = std::move(table);
    });
    return *props_;
}

const TClassInfo& TObjectClassInfo() {
    static const TClassInfo info("TObject", nullptr, nullptr, nullptr, nullptr);
    return info;
}

// ---- TPersistent -------------------------------------------------------------------------------

const TClassInfo& TPersistent::StaticClass() {
    static const TClassInfo info("TPersistent", &TObjectClassInfo(),
                                 lumetra_detail::FactoryOf<TPersistent>(), nullptr, nullptr);
    return info;
}

TPersistent::~TPersistent() {
    ObjectHandles::Release(this);
}

void TPersistent::Assign(const TPersistent* source) {
    if (source) {
        source->AssignTo(this);
        return;
    }
    AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* dest) const {
    dest->AssignError(this);
}

void TPersistent::AssignError(const TPersistent* source) const {
    const std::string sourceName = source ? source->ClassName() : std::string("nil");
    throw EConvertError("Cannot assign a " + sourceName + " to a " + ClassName());
}

std::string TPersistent::GetNamePath() const {
    return ClassName();
}

void TPersistent::DefineProperties(TFiler&) {}

// ---- registry ----------------------------------------------------------------------------------

namespace {

struct Registry {
    std::mutex mutex;
    std::unordered_map<std::string, const TClassInfo*> byName; // key: upper-case name
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

} // namespace

void RegisterClass(const TClassInfo& cls) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    auto [it, inserted] = r.byName.emplace(UpperCase(cls.ClassName()), &cls);
    if (!inserted && it->second != &cls)
        throw EFilerError("A class named " + cls.ClassName() + " already exists");
}

void UnRegisterClass(const TClassInfo& cls) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    auto it = r.byName.find(UpperCase(cls.ClassName()));
    if (it != r.byName.end() && it->second == &cls) r.byName.erase(it);
}

const TClassInfo* GetClass(std::string_view className) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    auto it = r.byName.find(UpperCase(className));
    return it == r.byName.end() ? nullptr : it->second;
}

const TClassInfo& FindClass(std::string_view className) {
    const TClassInfo* cls = GetClass(className);
    if (!cls) throw EClassNotFound("Class " + std::string(className) + " not found");
    return *cls;
}
