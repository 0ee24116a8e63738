// Fixed-capacity handle tables that every element of a production lives in. A pool hands out
// 1-based handles that stay valid while their element lives (0 always means none), keeps its
// elements in a user-visible order of 1-based positions, and counts references per element.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <utility>

namespace korvane {

// The two pool sizes. The small one stops at 255 so that every handle and position fits in
// a byte with 0 left for none; its next free handle has no value to spare above the last
// handle and reads 0 when the pool is full.
struct LargePoolShape {
    using Handle = uint16_t;
    static constexpr uint32_t kCapacity = 4096;
    static constexpr Handle kFullNextFree = 4097;
};
struct SmallPoolShape {
    using Handle = uint8_t;
    static constexpr uint32_t kCapacity = 255;
    static constexpr Handle kFullNextFree = 0;
};

inline constexpr char kPoolIncreaseFormat[] = "Increase %u\n";
inline constexpr char kPoolDecreaseFormat[] = "Decrease %u\n";

// Frees an element through a function chosen when the element was added, where its type was
// complete. A pool, and the Project that holds it, can then be destroyed where the element
// type is only declared.
template <typename T> struct PoolElementDeleter {
    void (*destroy)(T*) = nullptr;
    void operator()(T* element) const { destroy(element); }
};
template <typename T> using PoolSlot = std::unique_ptr<T, PoolElementDeleter<T>>;

template <typename T, typename Shape> struct BasicPool;

namespace pool_internal {
template <typename T> void DeleteElement(T* element) {
    delete element;
}
template <typename T, typename Shape> void ReleaseElements(BasicPool<T, Shape>& pool);
} // namespace pool_internal

// One pool: the element slots beside the bookkeeping. Pools are fixed blocks that do not move
// or copy (ClonePool makes a copy on purpose); a pool created by construction is empty with
// next free handle 1, and destroying it frees its elements from the last position to the
// first.
template <typename T, typename Shape> struct BasicPool {
    using Handle = typename Shape::Handle;
    static constexpr uint32_t kCapacity = Shape::kCapacity;

    std::array<PoolSlot<T>, kCapacity> slots;           // slot h - 1: element of handle h
    std::array<Handle, kCapacity> marks{};              // mark h - 1 is h while h is in use
    std::array<uint16_t, kCapacity> reference_counts{}; // count h - 1 belongs to handle h
    Handle next_free = 1;                               // smallest handle not in use
    Handle count = 0;                                   // number of elements
    std::array<Handle, kCapacity> order{};              // entry p - 1: handle at position p
    std::array<Handle, kCapacity> positions{};          // entry h - 1: position of handle h

    BasicPool() = default;
    BasicPool(const BasicPool&) = delete;
    BasicPool& operator=(const BasicPool&) = delete;
    ~BasicPool() { pool_internal::ReleaseElements(*this); }
};

template <typename T> using ResourcePool = BasicPool<T, LargePoolShape>;
template <typename T> using SmallResourcePool = BasicPool<T, SmallPoolShape>;

namespace pool_internal {

// Handles and positions are taken as 32-bit numbers and checked against the capacity, so a
// number too large for the pool's handle type is refused instead of wrapping onto another
// element.
template <typename Shape> bool IndexInRange(uint32_t index) {
    return index >= 1 && index <= Shape::kCapacity;
}

template <typename T, typename Shape> void ReleaseElements(BasicPool<T, Shape>& pool) {
    for (uint32_t position = pool.count; position >= 1; --position) {
        auto handle = pool.order[position - 1];
        if (handle != 0) {
            pool.slots[handle - 1].reset();
        }
    }
}

// Takes the next free handle for a new element at a position of 1 to count + 1, shifting
// the elements from that position on one place back.
template <typename T, typename Shape>
typename Shape::Handle ClaimHandle(BasicPool<T, Shape>& pool, uint32_t position) {
    using Handle = typename Shape::Handle;
    if (pool.count >= Shape::kCapacity) {
        return 0;
    }
    const Handle handle = pool.next_free;
    pool.slots[handle - 1] = PoolSlot<T>(new T(), PoolElementDeleter<T>{&DeleteElement<T>});
    pool.marks[handle - 1] = handle;
    pool.reference_counts[handle - 1] = 0;
    for (uint32_t q = pool.count; q >= position; --q) {
        const Handle moved = pool.order[q - 1];
        pool.order[q] = moved;
        ++pool.positions[moved - 1];
    }
    pool.order[position - 1] = handle;
    pool.positions[handle - 1] = static_cast<Handle>(position);
    ++pool.count;
    if (pool.count == Shape::kCapacity) {
        pool.next_free = Shape::kFullNextFree;
    } else {
        // Every handle below this one is in use, so the smallest free one lies above it.
        uint32_t next = handle + 1u;
        while (next <= Shape::kCapacity && pool.marks[next - 1] != 0) {
            ++next;
        }
        pool.next_free = static_cast<Handle>(next);
    }
    return handle;
}

} // namespace pool_internal

// A new empty pool on the heap, for pools that are not a field of a record.
template <typename Pool> std::unique_ptr<Pool> CreatePool() {
    return std::make_unique<Pool>();
}

// Adds a value-initialised element at the end; 0 and no change when the pool is full.
template <typename T, typename Shape> typename Shape::Handle PoolAdd(BasicPool<T, Shape>& pool) {
    return pool_internal::ClaimHandle(pool, pool.count + 1u);
}

// Adds an element at a position (0 counts as 1, beyond the end appends); the elements from
// that position on move one place back.
template <typename T, typename Shape>
typename Shape::Handle PoolInsert(BasicPool<T, Shape>& pool, uint32_t position) {
    if (position == 0) {
        position = 1;
    }
    if (position > pool.count) {
        position = pool.count + 1u;
    }
    return pool_internal::ClaimHandle(pool, position);
}

template <typename T, typename Shape> T* PoolGet(BasicPool<T, Shape>& pool, uint32_t handle) {
    return pool_internal::IndexInRange<Shape>(handle) ? pool.slots[handle - 1].get() : nullptr;
}
template <typename T, typename Shape>
const T* PoolGet(const BasicPool<T, Shape>& pool, uint32_t handle) {
    return pool_internal::IndexInRange<Shape>(handle) ? pool.slots[handle - 1].get() : nullptr;
}

// The handle at a position; 0 for positions that hold none or lie outside the pool.
template <typename T, typename Shape>
typename Shape::Handle PoolHandleAt(const BasicPool<T, Shape>& pool, uint32_t position) {
    return pool_internal::IndexInRange<Shape>(position) ? pool.order[position - 1] : 0;
}

// The position of a handle; 0 for handles not in use.
template <typename T, typename Shape>
typename Shape::Handle PoolPositionOf(const BasicPool<T, Shape>& pool, uint32_t handle) {
    return pool_internal::IndexInRange<Shape>(handle) ? pool.positions[handle - 1] : 0;
}

template <typename T, typename Shape> T* PoolGetAt(BasicPool<T, Shape>& pool, uint32_t position) {
    return PoolGet(pool, PoolHandleAt(pool, position));
}
template <typename T, typename Shape>
const T* PoolGetAt(const BasicPool<T, Shape>& pool, uint32_t position) {
    return PoolGet(pool, PoolHandleAt(pool, position));
}

// Frees the element at a position whatever its reference count, and closes the gap; the
// freed handle becomes the next free one when it is the smallest free handle.
template <typename T, typename Shape>
void PoolRemoveAt(BasicPool<T, Shape>& pool, uint32_t position) {
    using Handle = typename Shape::Handle;
    const Handle handle = PoolHandleAt(pool, position);
    if (handle == 0) {
        return;
    }
    // The element is freed last, so that the pool is consistent while its destructor runs.
    PoolSlot<T> removed = std::move(pool.slots[handle - 1]);
    pool.marks[handle - 1] = 0;
    pool.positions[handle - 1] = 0;
    // A full pool's next free handle is a marker, not a handle (0 in the small pool, which
    // no freed handle is smaller than), so the freed handle replaces it outright.
    if (pool.count == Shape::kCapacity || handle < pool.next_free) {
        pool.next_free = handle;
    }
    for (uint32_t q = position; q < pool.count; ++q) {
        const Handle moved = pool.order[q];
        pool.order[q - 1] = moved;
        --pool.positions[moved - 1];
    }
    pool.order[pool.count - 1] = 0;
    --pool.count;
}

// True when the position holds an element that nothing refers to.
template <typename T, typename Shape>
bool PoolCanRemoveAt(const BasicPool<T, Shape>& pool, uint32_t position) {
    const auto handle = PoolHandleAt(pool, position);
    return handle != 0 && pool.reference_counts[handle - 1] == 0;
}

// 0: removed; 1: the element is still referred to and stays; 2: no element there.
template <typename T, typename Shape>
int PoolTryRemoveAt(BasicPool<T, Shape>& pool, uint32_t position) {
    if (PoolHandleAt(pool, position) == 0) {
        return 2;
    }
    if (!PoolCanRemoveAt(pool, position)) {
        return 1;
    }
    PoolRemoveAt(pool, position);
    return 0;
}

// Exchanges the elements at two positions in the order; handles stay with their elements.
template <typename T, typename Shape>
void PoolSwap(BasicPool<T, Shape>& pool, uint32_t position_a, uint32_t position_b) {
    using Handle = typename Shape::Handle;
    const Handle handle_a = PoolHandleAt(pool, position_a);
    const Handle handle_b = PoolHandleAt(pool, position_b);
    if (handle_a == 0 || handle_b == 0) {
        return;
    }
    pool.order[position_a - 1] = handle_b;
    pool.order[position_b - 1] = handle_a;
    pool.positions[handle_a - 1] = static_cast<Handle>(position_b);
    pool.positions[handle_b - 1] = static_cast<Handle>(position_a);
}

// Counts one more reference to an element and returns its handle. A handle that names no
// element takes no reference and gives 0. The count stops at its largest value rather than
// wrapping to 0, which would let a referenced element be removed.
template <typename T, typename Shape>
typename Shape::Handle PoolAddRef(BasicPool<T, Shape>& pool, uint32_t handle) {
    if (PoolGet(pool, handle) == nullptr) {
        return 0;
    }
    std::printf(kPoolIncreaseFormat, static_cast<unsigned>(handle));
    uint16_t& references = pool.reference_counts[handle - 1];
    if (references != UINT16_MAX) {
        ++references;
    }
    return static_cast<typename Shape::Handle>(handle);
}

// Drops one reference; nothing happens (and nothing is printed) when none is counted.
template <typename T, typename Shape> void PoolRelease(BasicPool<T, Shape>& pool, uint32_t handle) {
    if (PoolGet(pool, handle) == nullptr || pool.reference_counts[handle - 1] == 0) {
        return;
    }
    std::printf(kPoolDecreaseFormat, static_cast<unsigned>(handle));
    --pool.reference_counts[handle - 1];
}

// A new pool with the same handles, order and reference counts, holding a copy of every
// element.
template <typename T, typename Shape>
std::unique_ptr<BasicPool<T, Shape>> ClonePool(const BasicPool<T, Shape>& pool) {
    auto clone = std::make_unique<BasicPool<T, Shape>>();
    clone->marks = pool.marks;
    clone->reference_counts = pool.reference_counts;
    clone->next_free = pool.next_free;
    clone->count = pool.count;
    clone->order = pool.order;
    clone->positions = pool.positions;
    for (uint32_t index = 0; index < Shape::kCapacity; ++index) {
        if (pool.slots[index]) {
            clone->slots[index] = PoolSlot<T>(
                new T(*pool.slots[index]), PoolElementDeleter<T>{&pool_internal::DeleteElement<T>});
        }
    }
    return clone;
}

// Frees every element, from the last position to the first, and leaves the pool as a newly
// created one.
template <typename T, typename Shape> void DestroyPool(BasicPool<T, Shape>& pool) {
    pool_internal::ReleaseElements(pool);
    pool.marks.fill(0);
    pool.reference_counts.fill(0);
    pool.next_free = 1;
    pool.count = 0;
    pool.order.fill(0);
    pool.positions.fill(0);
}

} // namespace korvane
