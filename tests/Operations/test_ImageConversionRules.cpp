// Resize and rename rules of a conversion batch.

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <thread>

#include "Operations/ImageConversionRules.h"

namespace vistel {
namespace {

struct ResizeCase {
    const char* what;
    Ref<ImageResizeOperatorProtocol> rule;
    FloatSize source;
    ImageSize expected;
};

TEST(ImageResizeRules, SizesTable)
{
    const FloatSize kept {72, 72};
    const ResizeCase cases[] = {
        {"50 % both", PercentageResizeOperator::create(50, 0), {3000, 2000}, {{1500, 1000}, kept}},
        {"50 % height only", PercentageResizeOperator::create(50, 2), {3000, 2000}, {{3000, 1000}, kept}},
        {"50 % width only", PercentageResizeOperator::create(50, 1), {3000, 2000}, {{1500, 2000}, kept}},
        {"100 % keeps", PercentageResizeOperator::create(100, 0), {3000, 2000}, {{3000, 2000}, kept}},
        {"pixels reduce inside", PixelsResizeOperator::create({1024, 768}, ImageResizeOnlyReduce, true, ImageResizeFitInside),
         {4000, 3000}, {{1024, 768}, kept}},
        {"pixels only reduce a small one", PixelsResizeOperator::create({1024, 768}, ImageResizeOnlyReduce, true, ImageResizeFitInside),
         {800, 600}, {{800, 600}, kept}},
        {"pixels only enlarge a large one", PixelsResizeOperator::create({1024, 768}, ImageResizeOnlyEnlarge, true, ImageResizeFitInside),
         {4000, 3000}, {{4000, 3000}, kept}},
        {"pixels fill", PixelsResizeOperator::create({1000, 1000}, 0, true, ImageResizeFill), {2000, 1000},
         {{2000, 1000}, kept}},
        {"pixels fit inside", PixelsResizeOperator::create({1000, 1000}, 0, true, ImageResizeFitInside), {2000, 1000},
         {{1000, 500}, kept}},
        {"pixels fit width", PixelsResizeOperator::create({1000, 1000}, 0, true, ImageResizeFitWidth), {2000, 1000},
         {{1000, 500}, kept}},
        {"pixels stretched", PixelsResizeOperator::create({1000, 1000}, 0, false, ImageResizeFitInside), {2000, 1000},
         {{1000, 1000}, kept}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ImageSize result = c.rule->sizeFromSize({c.source, kept});
        EXPECT_FLOAT_EQ(result.size.width, c.expected.size.width);
        EXPECT_FLOAT_EQ(result.size.height, c.expected.size.height);
        EXPECT_EQ(result.resolution, c.expected.resolution);
    }
}

TEST(ImageResizeRules, PrintSizeGivesItsResolution)
{
    const auto rule = UnitsResizeOperator::create({100, 150}, 300, false, ImageResizeFitInside);
    const ImageSize result = rule->sizeFromSize({{640, 480}, {72, 72}});
    EXPECT_EQ(int(result.size.width), 1181);
    EXPECT_EQ(int(result.size.height), 1771);
    EXPECT_NEAR(result.size.width, 1181.1, 0.05);
    EXPECT_EQ(result.resolution, (FloatSize {300, 300}));
}

struct RenameCase {
    const char* what;
    Ref<ImageRenameOperatorProtocol> rule;
    std::string name;
    int order;
    Value metadata;
    std::optional<std::string> expected;
};

TEST(ImageRenameRules, NamesTable)
{
    const Value total9 = Value::dictionary({{"total", 9}});
    const Value total12 = Value::dictionary({{"total", 12}});
    const RenameCase cases[] = {
        {"index, own name", NameWithIndexRenameOperator::create(std::nullopt, 1), "beach.JPG", 3, {}, "beach 3.JPG"},
        {"index, given name and start", NameWithIndexRenameOperator::create("Trip", 10), "a.png", 2, {}, "Trip 11.png"},
        {"index, no extension", NameWithIndexRenameOperator::create(std::nullopt, 1), "README", 2, {}, "README 2"},
        {"counter, total 9", NameWithCounterRenameOperator::create("Trip", 1), "x.jpg", 1, total9, "Trip 01.jpg"},
        {"counter, total 99", NameWithCounterRenameOperator::create("Trip", 1), "x.jpg", 1,
         Value::dictionary({{"total", 99}}), "Trip 001.jpg"},
        {"counter, no total", NameWithCounterRenameOperator::create("Trip", 1), "x.jpg", 7, {}, "Trip 0007.jpg"},
        {"sequence", NameWithSequenceRenameOperator::create("Trip", 1), "x.jpg", 5, total12, "Trip (5 of 12).jpg"},
        {"sequence from 5", NameWithSequenceRenameOperator::create("Trip", 5), "x.jpg", 12, total12, "Trip (16 of 12).jpg"},
        {"sequence without total", NameWithSequenceRenameOperator::create(std::nullopt, 1), "x.jpg", 2, {}, "x (2 of 0).jpg"},
        {"names list of one", NameFromNamesArray::create({"Holiday.png"}), "IMG_1.jpg", 4, {}, "Holiday.png"},
        {"names list, first", NameFromNamesArray::create({"A", "B", "C"}), "x.jpg", 1, {}, "A"},
        {"names list, second", NameFromNamesArray::create({"A", "B", "C"}), "x.jpg", 2, {}, "B"},
        {"names list, beyond", NameFromNamesArray::create({"A", "B", "C"}), "x.jpg", 9, {}, "C"},
        {"names list, empty", NameFromNamesArray::create({}), "x.jpg", 1, {}, "x.jpg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.rule->nameFromName(c.name, c.order, c.metadata), c.expected);
    }
}

TEST(ImageRenameRules, CounterDigitsFollowTheTotalAndStay)
{
    // total 9 from 1: the largest number is 9 + 1 → two digits; later calls keep the count.
    const auto rule = NameWithCounterRenameOperator::create("Trip", 1);
    EXPECT_EQ(rule->order(), -1);
    EXPECT_EQ(rule->nameFromName("x.jpg", 9, Value::dictionary({{"total", 9}})), "Trip 09.jpg");
    EXPECT_EQ(rule->order(), 2);
    EXPECT_EQ(rule->nameFromName("x.jpg", 1, Value::dictionary({{"total", 9999}})), "Trip 01.jpg");
}

TEST(ImageRenameRules, CounterIsSafeFromManyWorkers)
{
    const auto rule = NameWithCounterRenameOperator::create(std::nullopt, 1);
    std::vector<std::thread> workers;
    std::vector<std::string> names(64);
    for (int i = 0; i < 64; ++i)
        workers.emplace_back([&, i] {
            names[std::size_t(i)] = *rule->nameFromName("p.jpg", i + 1, Value::dictionary({{"total", 64}}));
        });
    for (auto& worker : workers)
        worker.join();
    std::set<std::string> unique(names.begin(), names.end());
    EXPECT_EQ(unique.size(), 64u);
    EXPECT_TRUE(unique.count("p 01.jpg"));
    EXPECT_TRUE(unique.count("p 64.jpg"));
}

TEST(ImageRenameRules, DateTimeStampPattern)
{
    // 2026-03-04 05:06:07.089 in the local zone: minutes appear twice, the second time as three
    // digits; the stamp holds ':' characters.
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    const double moment = 1772600767089.0;
    EXPECT_EQ(NameWithDateTimeRenameOperator::stampForTime(moment), "04:03:2026 05.06.07.006");
    const auto rule = NameWithDateTimeRenameOperator::create("Shot");
    const std::string name = *rule->nameFromName("x.png", 1, {});
    EXPECT_EQ(name.rfind("Shot ", 0), 0u);
    EXPECT_EQ(name.size(), std::string("Shot 04:03:2026 05.06.07.006.png").size());
    EXPECT_NE(name.find(':'), std::string::npos);
}

} // namespace
} // namespace vistel
