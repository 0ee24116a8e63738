#include "model/pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace korvane {
namespace {

// Records the order in which elements are destroyed.
std::vector<int> destroyed_ids;
int live_elements = 0;

struct Tracked {
    int id = 0;
    Tracked() { ++live_elements; }
    Tracked(const Tracked& other) : id(other.id) { ++live_elements; }
    ~Tracked() {
        --live_elements;
        destroyed_ids.push_back(id);
    }
};

// No member initialisers: only value-initialisation by the pool zeroes it.
struct Plain {
    int number;
    float real;
    unsigned char bytes[120];
};

template <typename Pool> std::vector<uint32_t> OrderOf(const Pool& pool) {
    std::vector<uint32_t> order;
    for (uint32_t position = 1; position <= pool.count; ++position) {
        order.push_back(PoolHandleAt(pool, position));
    }
    return order;
}

// Checks every invariant of the bookkeeping and returns a description of the first breach.
template <typename Pool> std::string CheckInvariants(const Pool& pool) {
    std::set<uint32_t> in_order;
    for (uint32_t p = 1; p <= Pool::kCapacity; ++p) {
        const uint32_t h = pool.order[p - 1];
        if (p > pool.count) {
            if (h != 0) {
                return "order entry beyond count at " + std::to_string(p);
            }
            continue;
        }
        if (h == 0 || h > Pool::kCapacity) {
            return "gap in order at " + std::to_string(p);
        }
        if (pool.positions[h - 1] != p || pool.marks[h - 1] != h || !pool.slots[h - 1]) {
            return "handle " + std::to_string(h) + " inconsistent";
        }
        in_order.insert(h);
    }
    if (in_order.size() != pool.count) {
        return "handle listed twice";
    }
    uint32_t smallest_free = 0;
    for (uint32_t h = 1; h <= Pool::kCapacity; ++h) {
        const bool used = in_order.count(h) != 0;
        if (!used && (pool.marks[h - 1] != 0 || pool.positions[h - 1] != 0 || pool.slots[h - 1])) {
            return "unused handle " + std::to_string(h) + " not cleared";
        }
        if (!used && smallest_free == 0) {
            smallest_free = h;
        }
    }
    const uint32_t expected_next =
        smallest_free == 0 ? uint32_t{Pool::kCapacity == 4096 ? 4097u : 0u} : smallest_free;
    if (pool.next_free != expected_next) {
        return "next free " + std::to_string(pool.next_free) + ", expected " +
               std::to_string(expected_next);
    }
    return "";
}

template <typename Pool> class PoolTest : public testing::Test {
  protected:
    void SetUp() override {
        destroyed_ids.clear();
        live_elements = 0;
    }
    void TearDown() override {
        pool.reset();
        EXPECT_EQ(live_elements, 0);
    }
    uint32_t Add(int id) {
        const uint32_t handle = PoolAdd(*pool);
        if (handle != 0) {
            PoolGet(*pool, handle)->id = id;
        }
        return handle;
    }
    std::unique_ptr<Pool> pool = CreatePool<Pool>();
};

using PoolTypes = testing::Types<ResourcePool<Tracked>, SmallResourcePool<Tracked>>;
TYPED_TEST_SUITE(PoolTest, PoolTypes);

TYPED_TEST(PoolTest, AdditionsAndRemovalsKeepHandlesAndReuseTheSmallestFree) {
    auto& pool = *this->pool;
    EXPECT_EQ(pool.next_free, 1);
    EXPECT_EQ(this->Add(10), 1u);
    EXPECT_EQ(this->Add(20), 2u);
    EXPECT_EQ(this->Add(30), 3u);
    EXPECT_EQ(OrderOf(pool), (std::vector<uint32_t>{1, 2, 3}));

    PoolRemoveAt(pool, 2);
    EXPECT_EQ(destroyed_ids, std::vector<int>{20});
    EXPECT_EQ(OrderOf(pool), (std::vector<uint32_t>{1, 3}));
    EXPECT_EQ(PoolPositionOf(pool, 3), 2);
    EXPECT_EQ(PoolPositionOf(pool, 2), 0);
    EXPECT_EQ(PoolGet(pool, 2), nullptr);
    EXPECT_EQ(PoolGet(pool, 3)->id, 30);
    EXPECT_EQ(pool.next_free, 2);

    EXPECT_EQ(this->Add(40), 2u);
    EXPECT_EQ(OrderOf(pool), (std::vector<uint32_t>{1, 3, 2}));
    EXPECT_EQ(PoolGetAt(pool, 3)->id, 40);
    EXPECT_EQ(pool.next_free, 4);
    EXPECT_EQ(CheckInvariants(pool), "");
}

TYPED_TEST(PoolTest, FullPoolRefusesAdditionsAndRecoversAfterARemoval) {
    auto& pool = *this->pool;
    constexpr uint32_t capacity = TypeParam::kCapacity;
    for (uint32_t i = 1; i < capacity; ++i) {
        ASSERT_EQ(this->Add(static_cast<int>(i)), i);
    }
    EXPECT_EQ(pool.next_free, capacity);
    EXPECT_EQ(this->Add(0), capacity);
    EXPECT_EQ(pool.next_free, (capacity == 4096 ? 4097u : 0u));
    EXPECT_EQ(CheckInvariants(pool), "");

    EXPECT_EQ(this->Add(0), 0u);
    EXPECT_EQ(PoolInsert(pool, 1), 0u);
    EXPECT_EQ(pool.count, capacity);
    EXPECT_EQ(PoolHandleAt(pool, 1), 1u);

    // The freed handle must be handed out again, also in the small pool whose full marker
    // is 0.
    PoolRemoveAt(pool, 10);
    EXPECT_EQ(pool.next_free, 10);
    EXPECT_EQ(PoolInsert(pool, 1), 10u);
    EXPECT_EQ(PoolHandleAt(pool, 1), 10u);
    EXPECT_EQ(PoolHandleAt(pool, capacity), capacity);
    EXPECT_EQ(CheckInvariants(pool), "");
}

TYPED_TEST(PoolTest, InsertPlacesTheNewHandleAtTheClampedPosition) {
    struct Case {
        uint32_t position;
        std::vector<uint32_t> order;
    };
    const Case cases[] = {
        {1, {3, 1, 2}}, {0, {3, 1, 2}}, {2, {1, 3, 2}},
        {3, {1, 2, 3}}, {7, {1, 2, 3}}, {UINT32_MAX, {1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.position);
        auto pool = CreatePool<TypeParam>();
        PoolAdd(*pool);
        PoolAdd(*pool);
        EXPECT_EQ(PoolInsert(*pool, c.position), 3u);
        EXPECT_EQ(OrderOf(*pool), c.order);
        EXPECT_EQ(CheckInvariants(*pool), "");
    }
}

TYPED_TEST(PoolTest, SwapExchangesPositionsNotHandles) {
    auto& pool = *this->pool;
    this->Add(10);
    this->Add(20);
    this->Add(30);
    PoolSwap(pool, 1, 3);
    EXPECT_EQ(OrderOf(pool), (std::vector<uint32_t>{3, 2, 1}));
    EXPECT_EQ(PoolPositionOf(pool, 3), 1);
    EXPECT_EQ(PoolGet(pool, 3)->id, 30);
    EXPECT_EQ(PoolGetAt(pool, 1)->id, 30);
    EXPECT_EQ(CheckInvariants(pool), "");
}

TYPED_TEST(PoolTest, PositionsAndHandlesOutsideThePoolChangeNothing) {
    auto& pool = *this->pool;
    this->Add(10);
    this->Add(20);
    constexpr uint32_t capacity = TypeParam::kCapacity;
    // 256 and 65537 would wrap onto real positions if narrowed to the handle type.
    const uint32_t outside[] = {0, 3, capacity, capacity + 1, 256, 65536, 65537, UINT32_MAX};
    for (uint32_t index : outside) {
        SCOPED_TRACE(index);
        PoolRemoveAt(pool, index);
        PoolSwap(pool, index, 1);
        PoolSwap(pool, 2, index);
        EXPECT_EQ(PoolTryRemoveAt(pool, index), 2);
        EXPECT_FALSE(PoolCanRemoveAt(pool, index));
        EXPECT_EQ(PoolGetAt(pool, index), nullptr);
        EXPECT_EQ(PoolHandleAt(pool, index), 0u);
        EXPECT_EQ(PoolGet(pool, index), nullptr);
        EXPECT_EQ(PoolPositionOf(pool, index), 0u);
        EXPECT_EQ(OrderOf(pool), (std::vector<uint32_t>{1, 2}));
    }
    EXPECT_TRUE(destroyed_ids.empty());
}

TYPED_TEST(PoolTest, ReferencesBlockTryRemoveAndAreReported) {
    auto& pool = *this->pool;
    this->Add(10);
    this->Add(20);

    testing::internal::CaptureStdout();
    EXPECT_EQ(PoolAddRef(pool, 2), 2u);
    EXPECT_EQ(PoolAddRef(pool, 2), 2u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Increase 2\nIncrease 2\n");

    EXPECT_FALSE(PoolCanRemoveAt(pool, 2));
    EXPECT_EQ(PoolTryRemoveAt(pool, 2), 1);
    EXPECT_EQ(OrderOf(pool), (std::vector<uint32_t>{1, 2}));

    testing::internal::CaptureStdout();
    PoolRelease(pool, 2);
    PoolRelease(pool, 2);
    PoolRelease(pool, 2); // nothing left to release: silent
    PoolRelease(pool, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Decrease 2\nDecrease 2\n");

    EXPECT_TRUE(PoolCanRemoveAt(pool, 2));
    EXPECT_EQ(PoolTryRemoveAt(pool, 2), 0);
    EXPECT_EQ(destroyed_ids, std::vector<int>{20});
    EXPECT_EQ(PoolTryRemoveAt(pool, 2), 2);

    // A reference to a handle that names nothing is not taken, so it cannot pin the next
    // element that gets the handle.
    testing::internal::CaptureStdout();
    EXPECT_EQ(PoolAddRef(pool, 2), 0u);
    EXPECT_EQ(PoolAddRef(pool, 0), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(this->Add(30), 2u);
    EXPECT_TRUE(PoolCanRemoveAt(pool, 2));
}

TYPED_TEST(PoolTest, DestroyFreesFromTheLastPositionToTheFirst) {
    auto& pool = *this->pool;
    this->Add(10);
    this->Add(20);
    this->Add(30);
    PoolSwap(pool, 1, 2);
    DestroyPool(pool);
    EXPECT_EQ(destroyed_ids, (std::vector<int>{30, 10, 20}));
    EXPECT_EQ(pool.count, 0);
    EXPECT_EQ(pool.next_free, 1);
    EXPECT_EQ(CheckInvariants(pool), "");

    // The destroyed pool is as good as a new one, and its own destruction frees in the same
    // order.
    this->Add(40);
    this->Add(50);
    destroyed_ids.clear();
    this->pool.reset();
    EXPECT_EQ(destroyed_ids, (std::vector<int>{50, 40}));
}

TYPED_TEST(PoolTest, CloneCopiesBookkeepingAndElements) {
    auto& pool = *this->pool;
    this->Add(10);
    this->Add(20);
    this->Add(30);
    PoolRemoveAt(pool, 1);
    PoolSwap(pool, 1, 2);
    testing::internal::CaptureStdout();
    PoolAddRef(pool, 3);
    testing::internal::GetCapturedStdout();

    auto clone = ClonePool(pool);
    EXPECT_EQ(OrderOf(*clone), OrderOf(pool));
    EXPECT_EQ(clone->next_free, pool.next_free);
    EXPECT_EQ(clone->reference_counts, pool.reference_counts);
    EXPECT_EQ(CheckInvariants(*clone), "");
    ASSERT_NE(PoolGet(*clone, 3), nullptr);
    EXPECT_NE(PoolGet(*clone, 3), PoolGet(pool, 3));
    EXPECT_EQ(PoolGet(*clone, 3)->id, 30);

    PoolGet(*clone, 3)->id = 99;
    EXPECT_EQ(PoolGet(pool, 3)->id, 30);
    clone.reset();
    EXPECT_EQ(live_elements, 2);
}

// Random additions, insertions, removals and swaps against a plain list of handles.
TYPED_TEST(PoolTest, MatchesASimpleModelOverRandomOperations) {
    auto& pool = *this->pool;
    constexpr uint32_t capacity = TypeParam::kCapacity;
    std::vector<uint32_t> order;            // handles in position order
    std::vector<int> ids(capacity + 1, -1); // id of the element behind each handle
    std::mt19937 random(12345);
    int next_id = 0;
    const int steps = capacity == 4096 ? 30000 : 6000;
    for (int step = 0; step < steps; ++step) {
        const uint32_t roll = random() % 100;
        const uint32_t position = random() % (order.size() + 3);
        if (roll < 55) {
            uint32_t expected = 0;
            if (order.size() < capacity) {
                expected = 1;
                while (ids[expected] != -1) {
                    ++expected;
                }
            }
            const uint32_t at = roll < 30 ? order.size() + 1 : position;
            const uint32_t handle = roll < 30 ? PoolAdd(pool) : PoolInsert(pool, at);
            ASSERT_EQ(handle, expected);
            if (handle != 0) {
                const uint32_t clamped = std::min<uint32_t>(std::max(at, 1u), order.size() + 1);
                order.insert(order.begin() + (clamped - 1), handle);
                ids[handle] = next_id;
                PoolGet(pool, handle)->id = next_id++;
            }
        } else if (roll < 85) {
            PoolRemoveAt(pool, position);
            if (position >= 1 && position <= order.size()) {
                ids[order[position - 1]] = -1;
                order.erase(order.begin() + (position - 1));
            }
        } else {
            const uint32_t other = random() % (order.size() + 2);
            PoolSwap(pool, position, other);
            if (position >= 1 && position <= order.size() && other >= 1 && other <= order.size()) {
                std::swap(order[position - 1], order[other - 1]);
            }
        }
        if (step % 97 == 0) {
            ASSERT_EQ(CheckInvariants(pool), "") << "step " << step;
        }
        ASSERT_EQ(OrderOf(pool), order) << "step " << step;
    }
    ASSERT_EQ(CheckInvariants(pool), "");
    for (uint32_t handle : order) {
        EXPECT_EQ(PoolGet(pool, handle)->id, ids[handle]);
    }
    EXPECT_EQ(live_elements, static_cast<int>(order.size()));
}

TEST(PoolElementTest, NewElementsAreValueInitialised) {
    auto pool = CreatePool<ResourcePool<Plain>>();
    for (int round = 0; round < 4; ++round) {
        const uint32_t handle = PoolAdd(*pool);
        Plain* element = PoolGet(*pool, handle);
        ASSERT_NE(element, nullptr);
        EXPECT_EQ(element->number, 0);
        EXPECT_EQ(element->real, 0.0f);
        EXPECT_TRUE(std::all_of(std::begin(element->bytes), std::end(element->bytes),
                                [](unsigned char b) { return b == 0; }));
        // Leave garbage behind for the block the next round may get again.
        std::memset(static_cast<void*>(element), 0xab, sizeof *element);
        PoolRemoveAt(*pool, PoolPositionOf(*pool, handle));
    }
}

} // namespace
} // namespace korvane
