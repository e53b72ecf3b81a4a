#pragma once
// TComponent: the owner tree (an owner frees its components), validated names, Tag, the
// component state flags and notifications. References between components are kept safe by
// free notification: a component that holds a pointer to another calls
// target->FreeNotification(this) and clears the pointer in its Notification override when the
// target reports opRemove.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/persistent.h"

enum class TOperation { opInsert, opRemove };

// Component state bits (ComponentState()).
using TComponentState = std::uint32_t;
inline constexpr TComponentState csLoading = 1u << 0;
inline constexpr TComponentState csReading = 1u << 1;
inline constexpr TComponentState csWriting = 1u << 2;
inline constexpr TComponentState csDestroying = 1u << 3;
inline constexpr TComponentState csDesigning = 1u << 4;
inline constexpr TComponentState csAncestor = 1u << 5;
inline constexpr TComponentState csUpdating = 1u << 6;
inline constexpr TComponentState csFixups = 1u << 7;
inline constexpr TComponentState csInline = 1u << 8;

class TComponent : public TPersistent {
    LUMETRA_CLASS(TComponent, TPersistent)
public:
    // The owner, when given, takes the new component into its list and frees it with itself.
    explicit TComponent(TComponent* owner);
    // Sends opRemove to every component registered for free notification, frees the owned
    // components (last first), and leaves the owner's list.
    ~TComponent() override;

    static void RegisterProperties(TClassBuilder<TComponent>& b);

    TComponent* Owner() const { return owner_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    // Raises EListError "List index out of bounds (N)" outside 0..ComponentCount()-1.
    TComponent* Components(int index) const;
    // Position in the owner's list; -1 without owner.
    int ComponentIndex() const;
    void SetComponentIndex(int index);

    const std::string& Name() const { return name_; }
    // Renames after validation: not an identifier, EComponentError
    // "Component name \"X\" is not valid"; another component of the same owner with that name
    // (case-insensitive), EComponentError "A component named X already exists". An empty name
    // is allowed.
    virtual void SetName(const std::string& name);
    int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }

    // The owned component of that name (case-insensitive), or null; an empty name finds none.
    TComponent* FindComponent(std::string_view name) const;

    // Takes a component from its previous owner into this one (opInsert notification).
    void InsertComponent(TComponent* component);
    // Releases a component from this owner without freeing it (opRemove notification).
    void RemoveComponent(TComponent* component);
    // Frees every owned component, last first.
    void DestroyComponents();

    // Free notification, both ways: when either of the two is destroyed, the other receives
    // Notification(dead, opRemove).
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);

    TComponentState ComponentState() const { return state_; }
    bool HasState(TComponentState bits) const { return (state_ & bits) != 0; }
    // Design mode for this component and, optionally, the components it owns.
    void SetDesigning(bool value, bool setChildren = true);
    // The component comes from an ancestor (inherited form or report).
    void SetAncestor(bool value);
    void SetInline(bool value);
    // Loading brackets: the reader sets csLoading and csReading while the component's data is
    // read; Loaded clears csLoading when all of it (references included) is in place.
    void BeginLoading();
    virtual void Loaded();
    // Marks the component as being destroyed and tells the owned components.
    void Destroying();

    // Children for component streaming (the base: none) and the owner they are created with.
    virtual void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root);
    virtual TComponent* GetChildOwner() { return nullptr; }

    TPersistent* GetOwner() const override;
    std::string GetNamePath() const override;

    // Identifier check used for names: a letter or "_", then letters, digits and "_" (ASCII).
    static bool IsValidIdent(std::string_view name);

protected:
    // Tells this component that another was inserted or removed (in the owner tree or from
    // free notification). The base forgets a removed component's free notification and passes
    // the message on to every owned component, so references anywhere below are cleared.
    // Overrides clear their references, then call the base.
    virtual void Notification(TComponent* component, TOperation operation);
    // Checks a rename of an owned component; see SetName.
    virtual void ValidateRename(TComponent* component, std::string_view currentName,
                                std::string_view newName);
    // Stores the name; SetName validates first.
    virtual void ChangeName(const std::string& newName);

private:
    void Insert(TComponent* component);
    void Remove(TComponent* component);
    void SetStateBit(TComponentState bit, bool on);

    TComponent* owner_ = nullptr;
    std::vector<TComponent*> components_;
    std::vector<TComponent*> freeNotifies_;
    std::string name_;
    int tag_ = 0;
    TComponentState state_ = 0;
};
