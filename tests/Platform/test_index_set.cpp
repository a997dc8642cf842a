#include <gtest/gtest.h>

#include "Platform/IndexSet.h"

using namespace vistel;

TEST(IndexSet, AddingMergesTouchingAndOverlappingRanges)
{
    struct Case {
        std::vector<std::pair<std::uint64_t, std::uint64_t>> adds;
        std::string expected;
    } cases[] = {
        {{{0, 1}, {2, 1}}, "{0, 2}"},
        {{{0, 1}, {2, 1}, {1, 1}}, "{0-2}"},
        {{{5, 3}, {0, 2}, {2, 3}}, "{0-7}"},
        {{{10, 5}, {12, 1}}, "{10-14}"},
        {{{10, 5}, {3, 20}}, "{3-22}"},
        {{{1, 1}, {5, 1}, {9, 1}, {4, 3}}, "{1, 4-6, 9}"},
        {{{3, 0}}, "{}"},
    };
    for (const Case& c : cases) {
        IndexSet set;
        for (auto [location, length] : c.adds)
            set.addRange(location, length);
        EXPECT_EQ(set.description(), c.expected);
    }
}

TEST(IndexSet, RemovingSplitsRanges)
{
    IndexSet set = IndexSet::withRange(0, 10);
    set.removeRange(3, 2);
    set.removeIndex(9);
    set.removeIndex(0);
    EXPECT_EQ(set.description(), "{1-2, 5-8}");
    EXPECT_EQ(set.count(), 6u);
    EXPECT_TRUE(set.containsIndex(5));
    EXPECT_FALSE(set.containsIndex(4));
    EXPECT_FALSE(set.containsIndex(9));
    EXPECT_EQ(set.indexGreaterThanIndex(2), 5u);
    EXPECT_EQ(set.indexGreaterThanIndex(8), NSNotFound);
    EXPECT_EQ((std::vector<std::uint64_t> {1, 2, 5, 6, 7, 8}), set.indexes());
}

TEST(IndexSet, EmptySetAnswersNotFoundAndIntersectionKeepsCommonIndexes)
{
    IndexSet empty;
    EXPECT_EQ(empty.firstIndex(), NSNotFound);
    EXPECT_EQ(empty.lastIndex(), NSNotFound);
    EXPECT_EQ(empty.count(), 0u);
    IndexSet a {1, 2, 3, 7, 8};
    IndexSet b = IndexSet::withRange(3, 5);
    EXPECT_EQ(a.intersection(b), (IndexSet {3, 7}));
    EXPECT_EQ(a.firstIndex(), 1u);
    EXPECT_EQ(a.lastIndex(), 8u);
    IndexSet big {0xFFFFFFFFu};
    EXPECT_EQ(big.count(), 1u);
    EXPECT_TRUE(big.containsIndex(0xFFFFFFFFu));
}
