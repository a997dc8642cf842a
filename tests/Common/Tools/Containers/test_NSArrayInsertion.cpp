#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "Common/Tools/Containers/NSArrayInsertion.h"
#include "AssertionText.h"
#include "Platform/Exception.h"

using namespace vistel;
using vistel::test::assertionText;
using namespace vistel::NSArrayInsertion;

namespace {

ComparisonResult compareInts(const int& object, const int& element, void* context)
{
    if (context)
        ++*static_cast<int*>(context);
    return object < element ? ComparisonResult::Ascending
                            : object > element ? ComparisonResult::Descending : ComparisonResult::Same;
}

struct Number {
    int value;
    ComparisonResult compare(const Number* other) const
    {
        return compareInts(value, other->value, nullptr);
    }
};

} // namespace

TEST(NSArrayInsertion, AnswersTheUpperBound)
{
    const struct {
        std::vector<int> array;
        int object;
        std::size_t position;
    } cases[] = {
        {{}, 2, 0},
        {{1, 2, 2, 3}, 2, 3},
        {{1, 2, 2, 3}, 0, 0},
        {{1, 2, 2, 3}, 1, 1},
        {{1, 2, 2, 3}, 3, 4},
        {{1, 2, 2, 3}, 9, 4},
        {{5, 5, 5, 5, 5}, 5, 5},
        {{1, 3, 5, 7}, 4, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(insertPositionWithFunction(c.array, c.object, compareInts, nullptr), c.position) << c.object;

        std::vector<Number> numbers;
        for (int v : c.array)
            numbers.push_back({v});
        std::vector<Number*> pointers;
        for (Number& n : numbers)
            pointers.push_back(&n);
        const Number object {c.object};
        EXPECT_EQ(insertPositionWithSelector(pointers, &object, &Number::compare), c.position) << c.object;
    }
}

TEST(NSArrayInsertion, AgreesWithUpperBoundOnRandomSortedArrays)
{
    std::mt19937 random(7);
    for (int round = 0; round < 500; ++round) {
        std::vector<int> array(static_cast<std::size_t>(random() % 40));
        for (int& v : array)
            v = static_cast<int>(random() % 10);
        std::sort(array.begin(), array.end());
        const int object = static_cast<int>(random() % 12) - 1;
        int comparisons = 0;
        const std::size_t expected = static_cast<std::size_t>(std::upper_bound(array.begin(), array.end(), object) - array.begin());
        ASSERT_EQ(insertPositionWithFunction(array, object, compareInts, &comparisons), expected);
        if (!array.empty()) {
            EXPECT_GT(comparisons, 0); // the context reaches the function
        }
    }
}

TEST(NSArrayInsertion, ParameterErrorsRaise)
{
    Number one {1};
    Number two {2};
    std::vector<Number*> array {&one, &two};
    std::vector<Number*> withNull {&one, nullptr, &two};
    const Number object {1};
    EXPECT_EQ(assertionText([&] { insertPositionWithSelector(array, static_cast<const Number*>(nullptr), &Number::compare); }),
              "PARAM ERROR: nil object in array");
    EXPECT_EQ(assertionText([&] { insertPositionWithSelector(withNull, &object, &Number::compare); }),
              "PARAM ERROR: nil object in array");
    EXPECT_EQ(assertionText([&] { insertPositionWithSelector(array, &object, InsertionSelector<Number>(nullptr)); }),
              "PARAM ERROR: null comparator");
    const std::vector<int> ints {1, 2};
    EXPECT_EQ(assertionText([&] { insertPositionWithFunction(ints, 1, InsertionFunction<int>(nullptr), nullptr); }),
              "PARAM ERROR: null comparator");
}
