// TComponent: ownership, names, state and notifications.
#include "platform/core/component.h"

#include <algorithm>

#include "platform/core/properties.h"
#include "platform/core/text.h"

namespace {

void EraseOne(std::vector<TComponent*>& list, TComponent* c) {
    auto it = std::find(list.begin(), list.end(), c);
    if (it != list.end()) list.erase(it);
}

} // namespace

void TComponent::RegisterProperties(TClassBuilder<TComponent>& b) {
    // The name is written by the component streaming itself, not as a property.
    b.Add("Name", TypeInfoComponentName(), &TComponent::Name, &TComponent::SetName).Stored(false);
    b.Add("Tag", &TComponent::Tag, &TComponent::SetTag).Default(0);
}

TComponent::TComponent(TComponent* owner) {
    if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    Destroying();
    // Each partner forgets us before it hears of our end, so it may not call back into a list
    // that is being emptied.
    while (!freeNotifies_.empty()) {
        TComponent* other = freeNotifies_.back();
        freeNotifies_.pop_back();
        EraseOne(other->freeNotifies_, this);
        other->Notification(this, TOperation::opRemove);
    }
    DestroyComponents();
    if (owner_) owner_->RemoveComponent(this);
}

TComponent* TComponent::Components(int index) const {
    if (index < 0 || index >= ComponentCount())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return components_[static_cast<std::size_t>(index)];
}

int TComponent::ComponentIndex() const {
    if (!owner_) return -1;
    const auto& list = owner_->components_;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TComponent::SetComponentIndex(int index) {
    if (!owner_) return;
    auto& list = owner_->components_;
    const int current = ComponentIndex();
    if (current < 0) return;
    const int last = static_cast<int>(list.size()) - 1;
    index = std::clamp(index, 0, last);
    if (index == current) return;
    list.erase(list.begin() + current);
    list.insert(list.begin() + index, this);
}

bool TComponent::IsValidIdent(std::string_view name) {
    if (name.empty()) return false;
    auto alpha = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    };
    if (!alpha(name[0])) return false;
    return std::all_of(name.begin() + 1, name.end(),
                       [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

void TComponent::SetName(const std::string& name) {
    if (name == name_) return;
    if (!name.empty() && !IsValidIdent(name))
        throw EComponentError("Component name \"" + name + "\" is not valid");
    if (owner_)
        owner_->ValidateRename(this, name_, name);
    else
        ValidateRename(nullptr, name_, name);
    ChangeName(name);
}

void TComponent::ChangeName(const std::string& newName) {
    name_ = newName;
}

void TComponent::ValidateRename(TComponent* component, std::string_view currentName,
                                std::string_view newName) {
    if (component && !SameText(currentName, newName) && component->owner_ == this &&
        FindComponent(newName))
        throw EComponentError("A component named " + std::string(newName) + " already exists");
    if (HasState(csDesigning) && owner_) owner_->ValidateRename(component, currentName, newName);
}

TComponent* TComponent::FindComponent(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : components_)
        if (SameText(c->name_, name)) return c;
    return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
    if (!component || component->owner_ == this) return;
    // Checked here too, so that moving a component between owners cannot make two of a name.
    if (!component->name_.empty() && FindComponent(component->name_))
        throw EComponentError("A component named " + component->name_ + " already exists");
    if (component->owner_) component->owner_->RemoveComponent(component);
    Insert(component);
    if (HasState(csDesigning)) component->SetDesigning(true);
    Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
    if (!component || component->owner_ != this) return;
    Notification(component, TOperation::opRemove);
    Remove(component);
}

void TComponent::Insert(TComponent* component) {
    components_.push_back(component);
    component->owner_ = this;
}

void TComponent::Remove(TComponent* component) {
    EraseOne(components_, component);
    component->owner_ = nullptr;
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        TComponent* c = components_.back();
        Remove(c);
        delete c;
    }
}

void TComponent::Destroying() {
    if (HasState(csDestroying)) return;
    state_ |= csDestroying;
    for (TComponent* c : components_)
        c->Destroying();
}

void TComponent::FreeNotification(TComponent* component) {
    if (!component || component == this) return;
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end())
        freeNotifies_.push_back(component);
    if (std::find(component->freeNotifies_.begin(), component->freeNotifies_.end(), this) ==
        component->freeNotifies_.end())
        component->freeNotifies_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
    if (!component) return;
    EraseOne(freeNotifies_, component);
    EraseOne(component->freeNotifies_, this);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component) RemoveFreeNotification(component);
    // Index loop: an override may free or add components while it is told.
    for (std::size_t i = 0; i < components_.size(); ++i)
        components_[i]->Notification(component, operation);
}

void TComponent::SetStateBit(TComponentState bit, bool on) {
    if (on)
        state_ |= bit;
    else
        state_ &= ~bit;
}

void TComponent::SetDesigning(bool value, bool setChildren) {
    SetStateBit(csDesigning, value);
    if (setChildren)
        for (TComponent* c : components_)
            c->SetDesigning(value, true);
}

void TComponent::SetAncestor(bool value) {
    SetStateBit(csAncestor, value);
    for (TComponent* c : components_)
        c->SetAncestor(value);
}

void TComponent::SetInline(bool value) {
    SetStateBit(csInline, value);
}

void TComponent::BeginLoading() {
    state_ |= csLoading | csReading;
}

void TComponent::Loaded() {
    state_ &= ~(csLoading | csReading);
}

void TComponent::GetChildren(const std::function<void(TComponent*)>&, TComponent*) {}

TPersistent* TComponent::GetOwner() const {
    return owner_;
}

std::string TComponent::GetNamePath() const {
    return name_;
}
