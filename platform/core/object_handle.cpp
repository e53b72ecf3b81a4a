#include "platform/core/object_handle.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

// Handle layout: bit 31 clear, 11 bits of generation, 20 bits of slot (slot 0 unused, so no
// live handle is 0).
constexpr int kSlotBits = 20;
constexpr std::uint32_t kSlotMask = (1u << kSlotBits) - 1;
constexpr std::uint32_t kGenerationMask = (1u << 11) - 1;
// A freed slot is used again only once this many others wait behind it.
constexpr std::size_t kReuseDelay = 4096;

struct View {
    const std::type_info* tag;
    void* object;
};

struct Slot {
    const void* identity = nullptr;
    std::vector<View> views;  // the static types the object was handed out as
    std::uint32_t generation = 0;
    bool live = false;
};

struct Table {
    std::mutex mutex;
    std::vector<Slot> slots = std::vector<Slot>(1);  // slot 0 is never handed out
    std::deque<std::uint32_t> freeSlots;
    // Identity and every view pointer of each live object, for look-up and Release.
    std::unordered_multimap<const void*, std::uint32_t> byAddress;
    // Lets Release skip the lock while no object has a handle (it runs for every dying object).
    std::atomic<std::size_t> live{0};

    std::int32_t HandleFor(std::uint32_t slot) const {
        return static_cast<std::int32_t>((slots[slot].generation << kSlotBits) | slot);
    }

    void AddAddress(const void* address, std::uint32_t slot) {
        auto [first, last] = byAddress.equal_range(address);
        for (auto it = first; it != last; ++it)
            if (it->second == slot) return;
        byAddress.emplace(address, slot);
    }

    Slot* LiveSlot(std::int32_t handle) {
        if (handle <= 0) return nullptr;
        auto bits = static_cast<std::uint32_t>(handle);
        std::uint32_t index = bits & kSlotMask;
        if (index == 0 || index >= slots.size()) return nullptr;
        Slot& slot = slots[index];
        if (!slot.live || slot.generation != (bits >> kSlotBits)) return nullptr;
        return &slot;
    }

    void Free(std::uint32_t index) {
        Slot& slot = slots[index];
        for (const View& view : slot.views) EraseAddress(view.object, index);
        EraseAddress(slot.identity, index);
        slot.views.clear();
        slot.identity = nullptr;
        slot.live = false;
        live.fetch_sub(1, std::memory_order_relaxed);
        slot.generation = (slot.generation + 1) & kGenerationMask;
        freeSlots.push_back(index);
    }

    void EraseAddress(const void* address, std::uint32_t index) {
        auto [first, last] = byAddress.equal_range(address);
        for (auto it = first; it != last; ++it)
            if (it->second == index) {
                byAddress.erase(it);
                return;
            }
    }
};

Table& TheTable() {
    static Table* table = new Table;  // never destroyed: objects may die during static exit
    return *table;
}

}  // namespace

std::int32_t ObjectHandles::Acquire(const void* identity, void* object, const std::type_info& tag) {
    Table& t = TheTable();
    std::lock_guard lock(t.mutex);
    auto [first, last] = t.byAddress.equal_range(identity);
    for (auto it = first; it != last; ++it) {
        Slot& slot = t.slots[it->second];
        if (slot.identity != identity) continue;
        bool known = false;
        for (const View& view : slot.views)
            if (*view.tag == tag) {
                known = true;
                break;
            }
        if (!known) {
            slot.views.push_back({&tag, object});
            t.AddAddress(object, it->second);
        }
        return t.HandleFor(it->second);
    }

    std::uint32_t index;
    if (t.freeSlots.size() > kReuseDelay || t.slots.size() > kSlotMask) {
        if (t.freeSlots.empty()) throw EOutOfMemory("Too many objects referenced by scripts");
        index = t.freeSlots.front();
        t.freeSlots.pop_front();
    } else {
        index = static_cast<std::uint32_t>(t.slots.size());
        t.slots.emplace_back();
    }
    Slot& slot = t.slots[index];
    slot.identity = identity;
    slot.views.push_back({&tag, object});
    slot.live = true;
    t.live.fetch_add(1, std::memory_order_relaxed);
    t.AddAddress(identity, index);
    t.AddAddress(object, index);
    return t.HandleFor(index);
}

void* ObjectHandles::Lookup(std::int32_t handle, const std::type_info& tag) {
    if (handle == 0) return nullptr;
    Table& t = TheTable();
    std::lock_guard lock(t.mutex);
    if (Slot* slot = t.LiveSlot(handle))
        for (const View& view : slot->views)
            if (*view.tag == tag) return view.object;
    ThrowInvalid();
}

void ObjectHandles::ThrowInvalid() { throw EInvalidObjectReference("Invalid object reference"); }

void ObjectHandles::Release(const void* object) noexcept {
    if (!object) return;
    Table& t = TheTable();
    if (t.live.load(std::memory_order_relaxed) == 0) return;
    std::lock_guard lock(t.mutex);
    // Free every slot the address belongs to; Free edits the map, so look up afresh each time.
    for (;;) {
        auto it = t.byAddress.find(object);
        if (it == t.byAddress.end()) return;
        t.Free(it->second);
    }
}

bool ObjectHandles::IsValid(std::int32_t handle) noexcept {
    Table& t = TheTable();
    std::lock_guard lock(t.mutex);
    return t.LiveSlot(handle) != nullptr;
}

std::size_t ObjectHandles::Count() noexcept {
    Table& t = TheTable();
    return t.live.load(std::memory_order_relaxed);
}
