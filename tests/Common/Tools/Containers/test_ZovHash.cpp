#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "Common/Tools/Containers/ZovHash.h"
#include "AssertionText.h"
#include "Platform/Exception.h"

using namespace vistel;
using vistel::test::assertionText;

namespace {

// Every key falls into the same column, so the column rules show directly.
struct OneColumn {
    std::size_t operator()(int) const noexcept { return 3; }
};

} // namespace

TEST(ZovHash, TwentyKeysInSeventeenColumnsAreAllFoundAndListedOnce)
{
    std::vector<int> objects(20);
    ZovHash<std::string, int> map;
    EXPECT_EQ(map.capacity(), 17);
    for (int i = 0; i < 20; ++i)
        map.setObject(&objects[static_cast<std::size_t>(i)], "key" + std::to_string(i));
    EXPECT_EQ(map.count(), 20);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(map.objectForKey("key" + std::to_string(i)), &objects[static_cast<std::size_t>(i)]);
    EXPECT_EQ(map.objectForKey("key20"), nullptr);

    const std::vector<std::string> keys = map.keys();
    EXPECT_EQ(keys.size(), 20u);
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()).size(), 20u);
    const ZovArray<int> listed = map.objects();
    EXPECT_EQ(listed.count(), 20);
    for (int i = 0; i < 20; ++i)
        EXPECT_NE(listed.indexOfObject(&objects[static_cast<std::size_t>(i)]), ZovArray<int>::NotFound);
}

TEST(ZovHash, AnEqualKeyReplacesTheObject)
{
    int first = 1;
    int second = 2;
    ZovHash<std::string, int> map;
    std::string key = "name";
    map.setObject(&first, key);
    map.setObject(&second, std::string("name")); // an equal, not identical, key
    EXPECT_EQ(map.count(), 1);
    EXPECT_EQ(map.objectForKey(key), &second);
}

TEST(ZovHash, ColumnsGrowByEightAndArePackedAfterRemovals)
{
    std::vector<int> objects(20);
    ZovHash<int, int, OneColumn> map(5);
    EXPECT_EQ(map.columnSlotsForKey(0), 0); // not made until used
    for (int i = 0; i < 8; ++i)
        map.setObject(&objects[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(map.columnSlotsForKey(0), 8);
    for (int i = 8; i < 17; ++i)
        map.setObject(&objects[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(map.columnSlotsForKey(0), 24);

    for (int i = 0; i < 8; ++i) // 9 left in 24 slots: packed into 16 once 8 are free
        map.removeObjectForKey(i);
    EXPECT_EQ(map.columnSlotsForKey(0), 16);
    EXPECT_EQ(map.takeObjectForKey(8), &objects[8]); // 8 left, 8 free: packed into 8
    EXPECT_EQ(map.columnSlotsForKey(0), 8);
    for (int i = 9; i < 17; ++i)
        EXPECT_EQ(map.objectForKey(i), &objects[static_cast<std::size_t>(i)]);
    for (int i = 9; i < 17; ++i)
        map.removeObjectForKey(i);
    EXPECT_EQ(map.columnSlotsForKey(0), 0); // freed with its last entry
    EXPECT_EQ(map.count(), 0);
    EXPECT_TRUE(map.keys().empty());
    EXPECT_TRUE(map.objects().isEmpty());
}

TEST(ZovHash, RemovingAMissingKeyChangesNothing)
{
    int object = 0;
    ZovHash<int, int> map;
    map.setObject(&object, 1);
    EXPECT_EQ(map.takeObjectForKey(2), nullptr);
    map.removeObjectForKey(18); // same column as 1, not equal
    EXPECT_EQ(map.count(), 1);
    EXPECT_EQ(map.objectForKey(1), &object);
}

TEST(ZovHash, ACapacityWithoutColumnsIsRefused)
{
    EXPECT_EQ(assertionText([] { ZovHash<int, int> map(-1); }), "Invalid capacity");
    // With no column there is nowhere to put a key (and nothing to take a modulo by).
    EXPECT_EQ(assertionText([] { ZovHash<int, int> map(0); }), "Invalid capacity");
    ZovHash<int, int> one(1);
    EXPECT_EQ(one.capacity(), 1);
}
