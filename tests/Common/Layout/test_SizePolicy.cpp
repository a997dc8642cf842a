#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "Common/Layout/ZovSizePolicy.h"
#include "LayoutTestSupport.h"
#include "TestSupport.h"

using namespace vistel;
using vistel::test::expectPolicy;

namespace {

constexpr float Unbounded = -1;

ZovSizePolicy fixed(float s) { return MakeFixedSizePolicy(s); }
ZovSizePolicy preferred(float p, float min, float max) { return MakePreferredSizePolicy(p, min, max); }
ZovSizePolicy expanding(float min, float max) { return MakeExpandingSizePolicy(min, max); }

void expectPairs(const std::vector<ZovSpacePair>& actual, const std::vector<ZovSpacePair>& expected, const char* name)
{
    ASSERT_EQ(actual.size(), expected.size()) << name;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_NEAR(actual[i].offset, expected[i].offset, 1e-3) << name << " item " << i;
        EXPECT_NEAR(actual[i].size, expected[i].size, 1e-3) << name << " item " << i;
    }
}

std::string describe(float space, const std::vector<ZovSizePolicy>& row)
{
    std::string text = "\nspace " + std::to_string(space);
    for (const auto& p : row)
        text += "\n  {" + std::to_string(p.minSize) + ", " + std::to_string(p.maxSize) + ", "
            + std::to_string(p.preferredSize) + ", " + std::string(SizePolicyKindName(p.policy)) + "}";
    return text;
}

} // namespace

TEST(SizePolicy, Makers)
{
    const struct {
        const char* name;
        ZovSizePolicy made;
        ZovSizePolicy expected;
    } cases[] = {
        {"fixed", fixed(20), {20, 20, 20, ZovSizePolicyFixed}},
        {"fixed negative", fixed(-4), {0, 0, 0, ZovSizePolicyFixed}},
        {"expanding clamps the minimum", expanding(-3, 2), {0, 2, 0, ZovSizePolicyExpanding}},
        {"expanding max below min", expanding(10, 4), {10, 10, 0, ZovSizePolicyExpanding}},
        {"expanding unbounded", expanding(5, -7), {5, Unbounded, 0, ZovSizePolicyExpanding}},
        {"preferred cut to max", preferred(50, 10, 30), {10, 30, 30, ZovSizePolicyPreferred}},
        {"preferred raised to min", preferred(5, 10, -7), {10, Unbounded, 10, ZovSizePolicyPreferred}},
        {"preferred unbounded", preferred(500, 0, -1), {0, Unbounded, 500, ZovSizePolicyPreferred}},
        {"default", preferred(0, 0, -1), {0, Unbounded, 0, ZovSizePolicyPreferred}},
        {"hidden", MakeHiddenSizePolicy(), {0, 0, 0, ZovSizePolicyFixed}},
    };
    for (const auto& c : cases)
        expectPolicy(c.made, c.expected, c.name);
    EXPECT_EQ(MakeNullSizePolicy().policy, ZovSizePolicyNull);
}

TEST(SizePolicy, KindNames)
{
    EXPECT_EQ(SizePolicyKindName(0), "NULL");
    EXPECT_EQ(SizePolicyKindName(1), "Fixed");
    EXPECT_EQ(SizePolicyKindName(2), "Preferred");
    EXPECT_EQ(SizePolicyKindName(3), "Expanding");
    EXPECT_EQ(SizePolicyKindName(4), "ERROR");
    EXPECT_EQ(SizePolicyKindName(-1), "ERROR");
}

TEST(SizePolicy, WithoutMargins)
{
    const struct {
        const char* name;
        ZovSizePolicy a;
        ZovSizePolicy b;
        ZovSizePolicy expected;
    } cases[] = {
        {"bounded", preferred(60, 20, 100), fixed(10), {10, 90, 50, ZovSizePolicyPreferred}},
        {"min floors at 0", preferred(60, 5, 100), fixed(10), {0, 90, 50, ZovSizePolicyPreferred}},
        {"unbounded a stays unbounded", preferred(60, 20, -1), fixed(10), {10, Unbounded, 50, ZovSizePolicyPreferred}},
        {"unbounded b max counts as 0", preferred(60, 20, 100), preferred(10, 10, -1), {10, 100, 50, ZovSizePolicyPreferred}},
        {"equal min and max is Fixed", fixed(30), fixed(10), {20, 20, 20, ZovSizePolicyFixed}},
        {"max never below preferred", preferred(50, 40, 50), preferred(0, 0, 30), {40, 50, 50, ZovSizePolicyPreferred}},
        {"Expanding stays Expanding", expanding(20, 20), fixed(10), {10, 10, 10, ZovSizePolicyExpanding}},
    };
    for (const auto& c : cases)
        expectPolicy(SizePolicyWithoutMargins(c.a, c.b), c.expected, c.name);
}

TEST(SizePolicy, Combining)
{
    const std::vector<ZovSizePolicy> none;
    expectPolicy(CombineSizePoliciesAlong(none), preferred(0, 0, -1), "along none");
    expectPolicy(CombineSizePoliciesAcross(none), preferred(0, 0, -1), "across none");
    const std::vector<ZovSizePolicy> one {fixed(7)};
    expectPolicy(CombineSizePoliciesAlong(one), fixed(7), "along one");
    expectPolicy(CombineSizePoliciesAcross(one), fixed(7), "across one");

    const std::vector<ZovSizePolicy> fixedPair {fixed(10), fixed(20)};
    expectPolicy(CombineSizePoliciesAlong(fixedPair), {30, Unbounded, 30, ZovSizePolicyPreferred}, "along fixed");
    expectPolicy(CombineSizePoliciesAcross(fixedPair), {20, 20, 20, ZovSizePolicyPreferred}, "across fixed");

    const std::vector<ZovSizePolicy> mixed {preferred(40, 10, 50), expanding(20, 30), fixed(5)};
    expectPolicy(CombineSizePoliciesAlong(mixed), {35, Unbounded, 45, ZovSizePolicyExpanding}, "along mixed");
    expectPolicy(CombineSizePoliciesAcross(mixed), {20, 50, 40, ZovSizePolicyExpanding}, "across mixed");

    const std::vector<ZovSizePolicy> withUnbounded {preferred(80, 0, -1), fixed(30)};
    expectPolicy(CombineSizePoliciesAcross(withUnbounded), {30, Unbounded, 80, ZovSizePolicyPreferred}, "across unbounded");
    // The preferred size is cut to a bounded maximum.
    const std::vector<ZovSizePolicy> cut {{0, 10, 10, ZovSizePolicyPreferred}, {0, 5, 40, ZovSizePolicyPreferred}};
    expectPolicy(CombineSizePoliciesAcross(cut), {0, 10, 10, ZovSizePolicyPreferred}, "across cut");
}

TEST(SizePolicy, DistributeSpaceCasesAndWorkedExamples)
{
    const struct {
        const char* name;
        float space;
        std::vector<ZovSizePolicy> policies;
        std::vector<ZovSpacePair> expected;
    } cases[] = {
        // Case 3: too little space.
        {"overlap", 50, {fixed(20), fixed(20), fixed(20)}, {{0, 20}, {15, 20}, {30, 20}}},
        {"all minima 0, no space", 0, {preferred(5, 0, 10), expanding(0, -1)}, {{0, 0}, {0, 0}}},
        {"one item, too big", 10, {fixed(30)}, {{0, 30}}},
        // Case 4: everything bounded, room to spare.
        {"gaps", 100, {fixed(20), fixed(20), fixed(20)}, {{0, 20}, {40, 20}, {80, 20}}},
        {"one bounded item keeps its max", 100, {preferred(10, 0, 30)}, {{0, 30}}},
        // Case 5a: Expanding items grow, and the capping walk.
        {"5a capped", 100, {fixed(20), preferred(30, 10, -1), expanding(0, 25)}, {{0, 20}, {20, 30}, {50, 25}}},
        {"5a share", 100, {fixed(20), expanding(0, -1), expanding(10, -1)}, {{0, 20}, {20, 35}, {55, 45}}},
        {"5a walk restarts", 120, {expanding(0, -1), expanding(0, 10), expanding(0, 50)}, {{0, 60}, {60, 10}, {70, 50}}},
        // Case 5b: Preferred items grow, and its capping walk.
        {"5b capped", 100, {preferred(20, 10, 20), preferred(30, 10, -1)}, {{0, 20}, {20, 80}}},
        {"5b proportional", 100, {preferred(10, 0, -1), preferred(30, 0, -1)}, {{0, 25}, {25, 75}}},
        {"5b equal", 90, {preferred(0, 0, -1), preferred(10, 10, -1), fixed(20)}, {{0, 30}, {30, 40}, {70, 20}}},
        {"5b equal capped", 90, {preferred(0, 0, 10), preferred(0, 0, -1), preferred(0, 0, -1)}, {{0, 10}, {10, 40}, {50, 40}}},
        // Capping takes the last weight away: the rest is shared equally, and B is capped again.
        {"5b weights used up", 100, {preferred(40, 0, 40), preferred(0, 0, 20), preferred(0, 0, -1)}, {{0, 40}, {40, 20}, {60, 40}}},
        {"5b W above R keeps Expanding at min", 40, {preferred(50, 0, -1), expanding(10, -1)}, {{0, 30}, {30, 10}}},
    };
    for (const auto& c : cases)
        expectPairs(DistributeSpace(c.space, c.policies), c.expected, c.name);
}

TEST(SizePolicy, DistributeSpaceWritesNothingForAnEmptyRow)
{
    const std::vector<ZovSizePolicy> none;
    EXPECT_TRUE(DistributeSpace(100, none).empty());
}

// A kind-0 policy (a delegate's "no answer" that reached the row) counts as the default policy
// and still gets its pair.
TEST(SizePolicy, DistributeSpaceTreatsKindZeroAsTheDefault)
{
    const ZovSizePolicy garbage {std::nanf(""), 12345, std::nanf(""), ZovSizePolicyNull};
    const std::vector<ZovSizePolicy> row {fixed(20), garbage, preferred(30, 10, -1)};
    ZovSpacePair out[3] = {{-7, -7}, {-7, -7}, {-7, -7}};
    DistributeSpace(100, row, out);
    // The kind-0 item has weight 0, so the Preferred item takes R = 70 by proportion.
    EXPECT_FLOAT_EQ(out[0].offset, 0);
    EXPECT_FLOAT_EQ(out[0].size, 20);
    EXPECT_FLOAT_EQ(out[1].offset, 20);
    EXPECT_FLOAT_EQ(out[1].size, 0);
    EXPECT_FLOAT_EQ(out[2].offset, 20);
    EXPECT_FLOAT_EQ(out[2].size, 80);

    const std::vector<ZovSizePolicy> onlyNull {MakeNullSizePolicy(), MakeNullSizePolicy()};
    const auto pairs = DistributeSpace(60, onlyNull);
    EXPECT_FLOAT_EQ(pairs[0].size, 30);
    EXPECT_FLOAT_EQ(pairs[1].offset, 30);
    EXPECT_FLOAT_EQ(pairs[1].size, 30);
}

// Seeded random rows built with the makers: every pair is written, nothing is NaN, Fixed items
// get exactly their minimum, bounded items never exceed their maximum, and the last item ends
// at the end of the space unless every item that could grow further is at its maximum (or a
// single item is larger than the space).
TEST(SizePolicy, RandomRowsKeepTheInvariants)
{
    const int rounds = vistel::test::scaled(20'000, 500'000);
    std::mt19937 random(5101);
    auto uniform = [&](float low, float high) { return std::uniform_real_distribution<float>(low, high)(random); };
    auto maybeUnbounded = [&](float bounded) { return random() % 3 == 0 ? -1.0f : bounded; };

    for (int round = 0; round < rounds; ++round) {
        const std::size_t n = 1 + random() % 7;
        std::vector<ZovSizePolicy> row;
        for (std::size_t i = 0; i < n; ++i) {
            const float min = random() % 4 == 0 ? 0.0f : uniform(0, 60);
            switch (random() % 4) {
            case 0: row.push_back(fixed(min)); break;
            case 1: row.push_back(preferred(uniform(0, 120), min, maybeUnbounded(min + uniform(0, 80)))); break;
            case 2: row.push_back(expanding(min, maybeUnbounded(min + uniform(0, 80)))); break;
            default: row.push_back(MakeNullSizePolicy()); break;
            }
        }
        const float space = uniform(0, 400);
        std::vector<ZovSpacePair> out(n, ZovSpacePair {std::nanf(""), std::nanf("")});
        DistributeSpace(space, row, out);

        float sumMin = 0;
        for (const auto& p : row)
            sumMin += p.policy == ZovSizePolicyNull ? 0 : p.minSize;
        const float tolerance = 1e-3f * std::max(1.0f, space + sumMin);
        bool preferredAtMax = true;
        bool expandingAtMax = true;
        for (std::size_t i = 0; i < n; ++i) {
            const ZovSizePolicy p = row[i].policy == ZovSizePolicyNull ? preferred(0, 0, -1) : row[i];
            ASSERT_FALSE(std::isnan(out[i].offset) || std::isnan(out[i].size)) << "round " << round << " item " << i;
            ASSERT_GE(out[i].size, p.minSize - tolerance) << "round " << round;
            if (p.policy == ZovSizePolicyFixed) {
                ASSERT_FLOAT_EQ(out[i].size, p.minSize) << "round " << round;
            }
            if (!p.isUnbounded()) {
                ASSERT_LE(out[i].size, p.maxSize + tolerance) << "round " << round << describe(space, row);
            }
            const bool atMax = !p.isUnbounded() && out[i].size >= p.maxSize - tolerance;
            if (p.policy == ZovSizePolicyPreferred && !atMax)
                preferredAtMax = false;
            if (p.policy == ZovSizePolicyExpanding && !atMax)
                expandingAtMax = false;
            if (i > 0 && sumMin < space) {
                ASSERT_GE(out[i].offset, out[i - 1].offset + out[i - 1].size - tolerance) << "round " << round;
            }
        }
        ASSERT_NEAR(out[0].offset, 0, tolerance);
        const float end = out[n - 1].offset + out[n - 1].size;
        if (sumMin >= space && sumMin > 0) {
            if (n > 1) {
                ASSERT_NEAR(end, space, tolerance) << "round " << round << describe(space, row);
            } else {
                ASSERT_FLOAT_EQ(out[0].size, row[0].minSize) << "round " << round;
            }
        } else {
            ASSERT_LE(end, space + tolerance) << "round " << round;
            if (end < space - tolerance) {
                ASSERT_TRUE(preferredAtMax || expandingAtMax) << "round " << round << describe(space, row);
            }
        }
    }
}
