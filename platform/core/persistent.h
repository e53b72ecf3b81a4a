#pragma once
// Run-time class metadata (TClassInfo), the class registry that creates objects by class name,
// and TPersistent (Assign, DefineProperties), the first class of the library that carries
// metadata: ClassName, ClassType and InheritsFrom start here.
//
// Every persistent class that scripts, the serializer or the inspector must see declares itself
// with LUMETRA_CLASS and, when it publishes properties, a static RegisterProperties:
//
//   class TMyView : public TpgwView {
//       LUMETRA_CLASS(TMyView, TpgwView)
//   public:
//       explicit TMyView(TComponent* owner);
//       static void RegisterProperties(TClassBuilder<TMyView>& b);  // see properties.h
//   };

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/core/exception.h"
#include "platform/core/object.h"

class TPersistent;
class TComponent;
class TCollection;
class TCollectionItem;
class TFiler;
class TPropTable;
class TPropInfo;
class TTypeInfo;
class TPropTableBuilder;

LUMETRA_EXCEPTION(EFilerError, EStreamError);
LUMETRA_EXCEPTION(EClassNotFound, EFilerError);
LUMETRA_EXCEPTION(EComponentError, Exception);
LUMETRA_EXCEPTION(EPropertyError, Exception);
LUMETRA_EXCEPTION(EPropertyConvertError, Exception);

// Run-time description of one class: exact name, parent, a virtual constructor and the
// published-property table. One static instance per class, made by LUMETRA_CLASS.
class TClassInfo {
public:
    using Factory = TPersistent* (*)(TComponent* owner);
    using ItemFactory = TCollectionItem* (*)(TCollection* collection);
    using PropertyRegistrar = void (*)(TPropTableBuilder& builder);

    TClassInfo(std::string name, const TClassInfo* parent, Factory factory, ItemFactory itemFactory,
               PropertyRegistrar registrar);
    ~TClassInfo();
    TClassInfo(const TClassInfo&) = delete;
    TClassInfo& operator=(const TClassInfo&) = delete;

    const std::string& ClassName() const { return name_; }
    const TClassInfo* ClassParent() const { return parent_; }
    // Number of ancestors (TObject has 0).
    int Depth() const { return depth_; }
    bool InheritsFrom(const TClassInfo& ancestor) const;
    // By class name, case-insensitive, along the parent chain.
    bool InheritsFrom(std::string_view ancestorName) const;

    // The virtual constructor: a new instance constructed with owner (a component) or with no
    // argument (other persistents); the owner, when given, frees a component with itself.
    // Raises EFilerError when the class cannot be created this way (abstract, or no such
    // constructor).
    TPersistent* Create(TComponent* owner = nullptr) const;
    bool CanCreate() const { return factory_ != nullptr; }
    // Collection items are created into their collection.
    TCollectionItem* CreateItem(TCollection* collection) const;
    bool CanCreateItem() const { return itemFactory_ != nullptr; }

    // The published properties, ancestor first (built on first use, thread-safe).
    const TPropTable& Properties() const;

    template <class T> static const TClassInfo& Of() { return T::StaticClass(); }

private:
    std::string name_;
    const TClassInfo* parent_;
    int depth_;
    Factory factory_;
    ItemFactory itemFactory_;
    PropertyRegistrar registrar_;
    mutable std::once_flag propsOnce_;
    mutable std::unique_ptr<TPropTable> props_;
};

namespace lumetra_detail {

template <class T> TPersistent* CreateInstance(TComponent* owner) {
    if constexpr (std::is_constructible_v<T, TComponent*>)
        return new T(owner);
    else {
        (void)owner;
        return new T();
    }
}

template <class T> TCollectionItem* CreateItem(TCollection* collection) {
    return new T(collection);
}

template <class T> constexpr TClassInfo::Factory FactoryOf() {
    if constexpr (std::is_abstract_v<T>)
        return nullptr;
    else if constexpr (std::is_constructible_v<T, TComponent*> ||
                       std::is_default_constructible_v<T>)
        return &CreateInstance<T>;
    else
        return nullptr;
}

template <class T> constexpr TClassInfo::ItemFactory ItemFactoryOf() {
    if constexpr (!std::is_abstract_v<T> && std::is_base_of_v<TCollectionItem, T> &&
                  std::is_constructible_v<T, TCollection*>)
        return &CreateItem<T>;
    else
        return nullptr;
}

} // namespace lumetra_detail

// What a class's RegisterProperties receives. The declaring members are defined in
// properties.h, which every file that declares properties includes.
class TClassBuilderBase {
public:
    explicit TClassBuilderBase(TPropTableBuilder& state) : state_(state) {}
    const TClassInfo& Class() const;

    // A method (event handler) property without accessors: enumerated, never stored. Events
    // that scripts assign are declared with Add and a method type (DefineMethodType), whose
    // getter and setter take the event's std::function.
    TPropInfo& AddMethod(std::string_view name, std::string_view typeName);
    // Re-declares an inherited published property in this class: it moves to this class's
    // position in the order and may take a new default or stored condition.
    TPropInfo& Publish(std::string_view name);

protected:
    TPropInfo& Append(std::unique_ptr<TPropInfo> info);
    TPropTableBuilder& state_;
};

template <class C> class TClassBuilder : public TClassBuilderBase {
public:
    using TClassBuilderBase::TClassBuilderBase;

    // A property of the declared type; its kind follows the type (ordinal, float, string,
    // variant, class, method). Getter: a const member function, a data member pointer or a callable
    // taking C&. Setter: a member function taking the value, a callable (C&, value), or
    // nullptr for a read-only property. The setter runs with all its side effects.
    template <class G, class S>
    TPropInfo& Add(std::string_view name, const TTypeInfo& type, G getter, S setter);
    // As above with the declared type taken from the getter's C++ type: int Integer, bool
    // Boolean, char Char, char16_t WideChar, std::int64_t Int64, double Double,
    // std::string string, std::u16string WideString, Variant, T* the class T.
    template <class G, class S> TPropInfo& Add(std::string_view name, G getter, S setter);
};

namespace lumetra_detail {

template <class T> TClassInfo::PropertyRegistrar RegistrarOf() {
    if constexpr (requires(TClassBuilder<T> & b) { T::RegisterProperties(b); }) {
        return [](TPropTableBuilder& state) {
            TClassBuilder<T> builder(state);
            T::RegisterProperties(builder);
        };
    } else {
        return nullptr;
    }
}

} // namespace lumetra_detail

// Declares the class metadata of Class (first line of the class body). Leaves the access at
// private, as at the start of a class body.
#define LUMETRA_CLASS(Class, Parent)                                                               \
public:                                                                                            \
    using inherited = Parent;                                                                      \
    static const TClassInfo& StaticClass() {                                                       \
        static const TClassInfo info(                                                              \
            #Class, &Parent::StaticClass(), lumetra_detail::FactoryOf<Class>(),                    \
            lumetra_detail::ItemFactoryOf<Class>(), lumetra_detail::RegistrarOf<Class>());         \
        return info;                                                                               \
    }                                                                                              \
    const TClassInfo& ClassType() const override {                                                 \
        return StaticClass();                                                                      \
    }                                                                                              \
    /* RegisterProperties may be private. */                                                       \
    template <class LumetraT> friend TClassInfo::PropertyRegistrar lumetra_detail::RegistrarOf();  \
                                                                                                   \
private:

// The metadata of TObject itself: the root of every TClassInfo parent chain.
const TClassInfo& TObjectClassInfo();

// An object that can copy itself from another (Assign) and keep non-published data in the
// binary property stream (DefineProperties).
class TPersistent : public TObject {
public:
    using inherited = TObject;
    TPersistent() = default;
    // Forgets the object's script handle, so a stale reference raises instead of dangling.
    ~TPersistent() override;
    TPersistent(const TPersistent&) = delete;
    TPersistent& operator=(const TPersistent&) = delete;

    static const TClassInfo& StaticClass();
    virtual const TClassInfo& ClassType() const { return StaticClass(); }
    const std::string& ClassName() const { return ClassType().ClassName(); }
    bool InheritsFrom(const TClassInfo& ancestor) const {
        return ClassType().InheritsFrom(ancestor);
    }
    // True when this object is a T (by class metadata).
    template <class T> bool Is() const { return ClassType().InheritsFrom(T::StaticClass()); }

    // Copies source into this object. The base hands over to source->AssignTo(this); when no
    // class knows how, raises EConvertError "Cannot assign a TX to a TY" ("nil" for none).
    virtual void Assign(const TPersistent* source);
    // The object that owns this one for naming (a component's owner, a collection's owner).
    virtual TPersistent* GetOwner() const { return nullptr; }
    // "Owner.Name.Property" style path used in messages and the inspector.
    virtual std::string GetNamePath() const;
    // Declares data stored besides the published properties (see TFiler in
    // property_stream.h). Empty in the base.
    virtual void DefineProperties(TFiler& filer);

protected:
    virtual void AssignTo(TPersistent* dest) const;
    [[noreturn]] void AssignError(const TPersistent* source) const;
};

// ---- class registry ----------------------------------------------------------------------------
// Classes that templates may name must be registered before those templates are read.

// Registering another class under a name already taken raises EFilerError
// "A class named TX already exists"; registering the same class again does nothing.
void RegisterClass(const TClassInfo& cls);
template <class... T> void RegisterClasses() {
    (RegisterClass(T::StaticClass()), ...);
}
void UnRegisterClass(const TClassInfo& cls);
// Case-insensitive lookup; null when the name is not registered.
const TClassInfo* GetClass(std::string_view className);
// As GetClass, but raises EClassNotFound "Class TX not found".
const TClassInfo& FindClass(std::string_view className);
