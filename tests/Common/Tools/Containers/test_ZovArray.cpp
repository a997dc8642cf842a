#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "Common/Tools/Containers/ZovArray.h"
#include "AssertionText.h"
#include "Platform/Exception.h"
#include "TestSupport.h"

using namespace vistel;
using vistel::test::assertionText;

namespace {

template <class T>
void expectSlotInvariants(const ZovArray<T>& array)
{
    EXPECT_GE(array.firstSlot(), 0);
    EXPECT_LE(array.firstSlot() + array.count(), array.reservedSlots());
    EXPECT_EQ(array.reservedSlots() % 8, 0);
}

struct Fixture {
    std::vector<int> storage = std::vector<int>(64);
    int* at(int i) { return &storage[static_cast<std::size_t>(i)]; }
    ZovArray<int> filled(int n)
    {
        ZovArray<int> array;
        for (int i = 0; i < n; ++i)
            array.addObject(at(i));
        return array;
    }
};

} // namespace

TEST(ZovArray, AddGrowsInStepsOfEightAtTheEnd)
{
    Fixture f;
    ZovArray<int> array;
    EXPECT_EQ(array.reservedSlots(), 0);
    array.addObject(f.at(0));
    EXPECT_EQ(array.reservedSlots(), 8);
    for (int i = 1; i < 9; ++i)
        array.addObject(f.at(i));
    EXPECT_EQ(array.count(), 9);
    EXPECT_EQ(array.reservedSlots(), 16);
    EXPECT_EQ(array.firstSlot(), 0);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(array.objectAtIndex(i), f.at(i));
}

TEST(ZovArray, RemovingTheFirstRepeatedlyAdvancesAndThenDropsFrontSlots)
{
    Fixture f;
    ZovArray<int> array = f.filled(20);
    ASSERT_EQ(array.reservedSlots(), 24);
    for (int removed = 1; removed <= 7; ++removed) {
        array.removeObjectAtIndex(0);
        EXPECT_EQ(array.firstSlot(), removed);
        EXPECT_EQ(array.reservedSlots(), 24);
    }
    array.removeObjectAtIndex(0); // first_ reaches 8: the 8 front slots go
    EXPECT_EQ(array.firstSlot(), 0);
    EXPECT_EQ(array.reservedSlots(), 16);
    EXPECT_EQ(array.count(), 12);
    EXPECT_EQ(array.firstObject(), f.at(8));
    EXPECT_EQ(array.lastObject(), f.at(19));
}

TEST(ZovArray, RemovingFromTheMiddleTrimsWholeStepsAtTheEnd)
{
    Fixture f;
    ZovArray<int> array = f.filled(17); // 24 slots, 7 free at the end
    array.removeObjectAtIndex(5);       // 8 free: one step goes
    EXPECT_EQ(array.reservedSlots(), 16);
    EXPECT_EQ(array.count(), 16);
    EXPECT_EQ(array.objectAtIndex(5), f.at(6));
    array.removeObject(f.at(16));
    EXPECT_EQ(array.reservedSlots(), 16);
    array.removeObjectAtIndex(array.count() - 1);
    EXPECT_EQ(array.count(), 14);
    while (array.count() > 1)
        array.removeObjectAtIndex(1);
    EXPECT_EQ(array.reservedSlots(), 8);
    array.removeObjectAtIndex(0); // the last one frees the buffer
    EXPECT_EQ(array.reservedSlots(), 0);
    EXPECT_EQ(array.firstSlot(), 0);
}

TEST(ZovArray, InsertingAtTheFrontWithoutFreeSlotsGrowsAtTheFront)
{
    Fixture f;
    ZovArray<int> array = f.filled(3);
    ASSERT_EQ(array.firstSlot(), 0);
    array.insertObject(f.at(10), 0);
    EXPECT_EQ(array.reservedSlots(), 16);
    EXPECT_EQ(array.firstSlot(), 7); // moved up by 8, then one slot used before
    array.insertObject(f.at(11), 0);
    EXPECT_EQ(array.firstSlot(), 6);
    EXPECT_EQ(array.reservedSlots(), 16);
    const std::vector<int*> expected {f.at(11), f.at(10), f.at(0), f.at(1), f.at(2)};
    EXPECT_EQ(array.toVector(), expected);
}

TEST(ZovArray, InsertingInTheMiddleMovesTheRestUp)
{
    Fixture f;
    ZovArray<int> array = f.filled(8); // full
    array.insertObject(f.at(20), 3);
    EXPECT_EQ(array.reservedSlots(), 16);
    const std::vector<int*> expected {f.at(0), f.at(1), f.at(2), f.at(20), f.at(3), f.at(4), f.at(5), f.at(6), f.at(7)};
    EXPECT_EQ(array.toVector(), expected);
    array.insertObject(f.at(21), array.count()); // at the end
    EXPECT_EQ(array.lastObject(), f.at(21));
}

TEST(ZovArray, IndexOfFindsOnlyTheIdenticalPointer)
{
    std::string a = "same";
    std::string b = "same";
    ZovArray<std::string> array;
    array.addObject(&a);
    EXPECT_EQ(array.indexOfObject(&a), 0);
    EXPECT_EQ(array.indexOfObject(&b), ZovArray<std::string>::NotFound);
    EXPECT_EQ(ZovArray<std::string>::NotFound, 0x7FFFFFFF);
}

TEST(ZovArray, TakeAnswersTheObjectAndNeverShrinks)
{
    Fixture f;
    ZovArray<int> array = f.filled(9);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(array.takeObjectAtIndex(0), f.at(i));
    EXPECT_EQ(array.firstSlot(), 8);
    EXPECT_EQ(array.reservedSlots(), 16);
    EXPECT_EQ(array.takeObject(f.at(8)), f.at(8));
    EXPECT_TRUE(array.isEmpty());
    EXPECT_EQ(array.reservedSlots(), 16);
    array.addObject(f.at(1));
    EXPECT_EQ(array.objectAtIndex(0), f.at(1));
    expectSlotInvariants(array);
}

TEST(ZovArray, ClearFreesTheBufferOfANonEmptyArray)
{
    Fixture f;
    ZovArray<int> array = f.filled(5);
    array.clear();
    EXPECT_EQ(array.count(), 0);
    EXPECT_EQ(array.reservedSlots(), 0);
    EXPECT_EQ(array.firstSlot(), 0);
}

TEST(ZovArray, CopyingFactoriesTakeWholeStepsPlusEight)
{
    Fixture f;
    const struct {
        int count;
        int slots;
    } cases[] = {{0, 8}, {1, 8}, {7, 8}, {8, 16}, {9, 16}, {16, 24}};
    for (const auto& c : cases) {
        std::vector<int*> pointers;
        for (int i = 0; i < c.count; ++i)
            pointers.push_back(f.at(i));
        const ZovArray<int> fromVector = ZovArray<int>::createWithVector(pointers);
        const ZovArray<int> fromPointers = ZovArray<int>::createWithObjects(pointers.data(), c.count);
        EXPECT_EQ(fromVector.reservedSlots(), c.slots) << c.count;
        EXPECT_EQ(fromPointers.reservedSlots(), c.slots) << c.count;
        EXPECT_EQ(fromVector.toVector(), pointers);
        EXPECT_EQ(fromPointers.toVector(), pointers);
    }
}

TEST(ZovArray, ProgrammingErrorsRaise)
{
    Fixture f;
    ZovArray<int> empty;
    ZovArray<int> three = f.filled(3);
    EXPECT_EQ(assertionText([&] { three.objectAtIndex(3); }), "Index out of range");
    EXPECT_EQ(assertionText([&] { three.objectAtIndex(-1); }), "Index out of range");
    EXPECT_EQ(assertionText([&] { three.replaceObject(f.at(9), 3); }), "Index out of range");
    EXPECT_EQ(assertionText([&] { three.insertObject(f.at(9), 4); }), "Index out of range");
    EXPECT_EQ(assertionText([&] { three.insertObject(f.at(9), -1); }), "Index out of range");
    EXPECT_EQ(assertionText([&] { three.removeObjectAtIndex(3); }), "Index out of range");
    EXPECT_EQ(assertionText([&] { three.takeObjectAtIndex(-1); }), "Index out of range");
    EXPECT_EQ(assertionText([&] { empty.firstObject(); }), "Array is empty");
    EXPECT_EQ(assertionText([&] { empty.lastObject(); }), "Array is empty");
    EXPECT_EQ(assertionText([&] { three.removeObject(f.at(9)); }), "No such object in array");
    EXPECT_EQ(assertionText([&] { three.takeObject(f.at(9)); }), "No such object in array");
    EXPECT_EQ(three.count(), 3); // nothing changed on the way
}

namespace {
struct Counted {
    explicit Counted(int& destroyed) : destroyed_(destroyed) { }
    ~Counted() { ++destroyed_; }
    int& destroyed_;
};
struct CountedObject : Object {
    explicit CountedObject(int& destroyed) : destroyed_(destroyed) { }
    ~CountedObject() override { ++destroyed_; }
    int& destroyed_;
};
} // namespace

TEST(ZovArray, ReleaseAllAndClearDeletesPlainObjectsAndReleasesCountedOnes)
{
    int plainDestroyed = 0;
    ZovArray<Counted> plain;
    for (int i = 0; i < 3; ++i)
        plain.addObject(new Counted(plainDestroyed));
    plain.releaseAllAndClear();
    EXPECT_EQ(plainDestroyed, 3);
    EXPECT_TRUE(plain.isEmpty());

    int countedDestroyed = 0;
    auto kept = makeRef<CountedObject>(countedDestroyed);
    ZovArray<CountedObject> counted;
    counted.addObject(new CountedObject(countedDestroyed));
    kept->retain(); // the array's reference
    counted.addObject(kept.get());
    counted.releaseAllAndClear();
    EXPECT_EQ(countedDestroyed, 1);
    EXPECT_EQ(kept->retainCount(), 1);
}

// The array against a std::deque model over seeded random operations, checking contents and
// the slot invariants after every step.
TEST(ZovArray, AgreesWithADequeModelOverRandomOperations)
{
    const int steps = test::scaled(100'000, 2'000'000);
    std::vector<int> storage(512);
    std::mt19937 random(20261209);
    ZovArray<int> array;
    std::deque<int*> model;
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };

    for (int step = 0; step < steps; ++step) {
        int* object = &storage[static_cast<std::size_t>(pick(512))];
        const int count = static_cast<int>(model.size());
        // Insertions slightly outweigh removals below ~200 objects, so the array keeps
        // growing and shrinking through many buffer sizes.
        const int operation = pick(count > 200 ? 12 : 10);
        switch (operation) {
        case 0:
            array.insertObject(object, 0);
            model.push_front(object);
            break;
        case 1: {
            const int at = pick(count + 1);
            array.insertObject(object, at);
            model.insert(model.begin() + at, object);
            break;
        }
        case 2:
        case 3:
            array.addObject(object);
            model.push_back(object);
            break;
        case 4:
        case 10:
            if (count > 0) {
                array.removeObjectAtIndex(0);
                model.pop_front();
            }
            break;
        case 5:
        case 11:
            if (count > 0) {
                const int at = pick(count);
                array.removeObjectAtIndex(at);
                model.erase(model.begin() + at);
            }
            break;
        case 6:
            if (count > 0) {
                const int at = pick(count);
                EXPECT_EQ(array.takeObjectAtIndex(at), model[static_cast<std::size_t>(at)]);
                model.erase(model.begin() + at);
            }
            break;
        case 7:
            if (count > 0) {
                int* taken = model[static_cast<std::size_t>(pick(count))];
                EXPECT_EQ(array.takeObject(taken), taken);
                model.erase(std::find(model.begin(), model.end(), taken));
            }
            break;
        case 8:
            if (count > 0) {
                const int at = pick(count);
                array.replaceObject(object, at);
                model[static_cast<std::size_t>(at)] = object;
            }
            break;
        case 9: {
            const auto found = std::find(model.begin(), model.end(), object);
            const std::int32_t expected = found == model.end() ? ZovArrayBase::NotFound
                                                               : static_cast<std::int32_t>(found - model.begin());
            ASSERT_EQ(array.indexOfObject(object), expected) << "step " << step;
            break;
        }
        }
        ASSERT_EQ(array.count(), static_cast<std::int32_t>(model.size())) << "step " << step;
        ASSERT_GE(array.firstSlot(), 0) << "step " << step;
        ASSERT_LE(array.firstSlot() + array.count(), array.reservedSlots()) << "step " << step;
        ASSERT_EQ(array.reservedSlots() % 8, 0) << "step " << step;
        ASSERT_TRUE(std::equal(array.begin(), array.end(), model.begin(), model.end())) << "step " << step;
    }
    EXPECT_TRUE(std::equal(array.begin(), array.end(), model.begin(), model.end()));
}
