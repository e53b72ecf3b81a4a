#pragma once
// Checked handles for host objects. Scripts carry an object as an Int32 Variant; the handle is
// looked up in one process-wide table, so a released object or a value of the wrong type gives
// an error instead of a dangling pointer. Handle 0 is nil.
//
// A handle is a slot number with a generation count. Freed slots wait in a queue behind many
// others before they are used again, and come back with the next generation, so a stale handle
// does not quietly reach a new object.
//
// One object has one handle whatever static type it is handed out as (scripts compare objects
// by their handle), and can be resolved as each type it was handed out as. Class hierarchies
// hand out their objects as the root class and use ResolveAs to reach a descendant.

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <typeinfo>

#include "platform/core/exception.h"
#include "platform/core/variant.h"

// "Invalid object reference": a handle that is stale, unknown or of the wrong type.
LUMETRA_EXCEPTION(EInvalidObjectReference, Exception);

class ObjectHandles {
public:
    // The handle of an object (0 for nullptr), made on first use.
    template <class T>
    static std::int32_t HandleOf(T* object) {
        if (!object) return 0;
        return Acquire(IdentityOf(object), const_cast<std::remove_cv_t<T>*>(object), typeid(T));
    }
    // The object of a handle as T; nullptr for 0. Raises EInvalidObjectReference when the
    // object was released or was never handed out as T.
    template <class T>
    static T* Resolve(std::int32_t handle) {
        return static_cast<T*>(Lookup(handle, typeid(T)));
    }
    // The object of a handle handed out as Root, as its descendant T (dynamic_cast); raises
    // EInvalidObjectReference when it is not a T. nullptr for 0.
    template <class T, class Root>
    static T* ResolveAs(std::int32_t handle) {
        Root* root = Resolve<Root>(handle);
        if (!root) return nullptr;
        T* object = dynamic_cast<T*>(root);
        if (!object) ThrowInvalid();
        return object;
    }
    // Forget an object (call when it dies): all its handles become stale. Any pointer it was
    // handed out with may be given. Objects that never had a handle cost a table look-up.
    static void Release(const void* object) noexcept;
    // Whether a handle names a live object (0 does not).
    static bool IsValid(std::int32_t handle) noexcept;
    // Number of live objects in the table.
    static std::size_t Count() noexcept;

private:
    template <class T>
    static const void* IdentityOf(T* object) {
        if constexpr (std::is_polymorphic_v<T>)
            return const_cast<const void*>(dynamic_cast<const volatile void*>(object));
        else
            return object;
    }
    static std::int32_t Acquire(const void* identity, void* object, const std::type_info& tag);
    static void* Lookup(std::int32_t handle, const std::type_info& tag);
    [[noreturn]] static void ThrowInvalid();
};

// An object as a script value: its handle as an Int32 (nil is 0).
template <class T>
Variant ObjectToVariant(T* object) {
    return Variant::FromHandle(ObjectHandles::HandleOf(object));
}
// The object a script value refers to: nullptr for Null, Empty and 0; EInvalidObjectReference
// for any other value that is not a valid handle of a T.
template <class T>
T* VariantToObject(const Variant& value) {
    switch (value.Kind()) {
        case VariantKind::Empty:
        case VariantKind::Null:
            return nullptr;
        case VariantKind::Int32:
            return ObjectHandles::Resolve<T>(value.Int32Value());
        default:
            throw EInvalidObjectReference("Invalid object reference");
    }
}
