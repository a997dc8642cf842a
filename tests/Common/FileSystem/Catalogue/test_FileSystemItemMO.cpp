#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "CatalogueTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMOCategory.h"
#include "Platform/Log.h"

using namespace vistel;
using namespace vistel::test;
using Result = FileSystemItemMO::ComparisonResult;

namespace {

class ItemTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        MediaDatabase& database = openCatalogue();
        root_ = database.createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
    }
    Ref<FileSystemItemMO> file(const std::string& name)
    {
        auto item = root_->createChildWithName(name, MediaDatabase::EntityFile, true);
        item->setValid(true);
        return item;
    }
    Ref<FileSystemItemMO> root_;
};

} // namespace

TEST(CompareNames, DigitRunsByValueOtherwiseCodePoints)
{
    struct Case {
        const char* a;
        const char* b;
        Result expected;
    } cases[] = {
        {"img2", "img10", Result::Ascending},   {"img02", "img2", Result::Same},      {"B", "a", Result::Ascending},
        {"a", "B", Result::Descending},         {"img", "img1", Result::Ascending},   {"10", "9a", Result::Descending},
        {"file 2.jpg", "file 10.jpg", Result::Ascending}, {"x007y", "x7z", Result::Ascending}, {"", "", Result::Same},
        {"z", "\xc3\xa9", Result::Ascending},  {"img0", "img00", Result::Same},     {"a\xff", "a\xfe", Result::Descending},
        {"99999999999999999999", "100000000000000000000", Result::Ascending},
    };
    for (const Case& c : cases)
        EXPECT_EQ(compareNamesNumerically(c.a, c.b), c.expected) << c.a << " / " << c.b;
}

TEST_F(ItemTest, FilterMasks)
{
    auto make = [&](bool folder, bool visible, bool valid, bool decodable, bool bundle) {
        auto item = root_->createChildWithName(folder ? "d" : "f", folder ? "Folder" : "File", visible);
        item->setValid(valid);
        item->setDecodable(decodable);
        item->setBundle(bundle);
        return item;
    };
    auto visibleFile = make(false, true, true, true, false);
    auto hiddenBadFile = make(false, false, true, false, false);
    auto invalidFile = make(false, true, false, true, false);
    auto plainFolder = make(true, true, true, false, false);
    auto bundleFolder = make(true, true, true, false, true);
    struct Case {
        FileSystemItemMO* item;
        int mask;
        bool passes;
    } cases[] = {
        {visibleFile.get(), 0, false},
        {plainFolder.get(), 0, false},
        {visibleFile.get(), kMaskAll, true},
        {hiddenBadFile.get(), kMaskAll, true},
        {bundleFolder.get(), kMaskAll, true},
        {visibleFile.get(), 1 + 16 + 8, true},
        {visibleFile.get(), 1 + 16 + 8 + 128, false},
        {hiddenBadFile.get(), 2 + 16 + 8 + 128, true},
        {hiddenBadFile.get(), 1 + 16 + 8, false},
        {invalidFile.get(), 1 + 16 + 8, false},
        {invalidFile.get(), 1 + 32 + 8, true},
        {plainFolder.get(), 1 + 16 + 4, false},
        {plainFolder.get(), 1 + 16 + 4 + 512, true},
        {bundleFolder.get(), 1 + 16 + 4 + 512, false},
        {bundleFolder.get(), 1 + 16 + 4 + 256, true},
        {plainFolder.get(), 1 + 16 + 8 + 512, false},
        {visibleFile.get(), 1 + 16 + 4 + 8, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.item->isMatchingToMask(c.mask), c.passes) << c.item->debugInfoString() << " mask " << c.mask;
}

TEST_F(ItemTest, StoredAttributesAndWhatFoldersAnswer)
{
    auto folder = root_->createChildWithName("a", MediaDatabase::EntityFolder, true);
    folder->setSize(4096);
    folder->setType("public.folder");
    EXPECT_EQ(folder->size(), std::nullopt);
    EXPECT_EQ(folder->type(), "Folder");
    EXPECT_EQ(folder->userKind(), "Folder");
    EXPECT_EQ(root_->fullPath(), "/");
    auto picture = folder->createChildWithName("b.JPG", MediaDatabase::EntityFile, true);
    EXPECT_EQ(picture->fullPath(), "/a/b.JPG");
    picture->setType("public.jpeg");
    EXPECT_TRUE(picture->isImage());
    EXPECT_FALSE(folder->isImage());
    EXPECT_EQ(picture->displayName(), "b.JPG");
    picture->setDisplayName("Shown");
    EXPECT_EQ(picture->displayName(), "Shown");
    EXPECT_EQ(picture->volumeItem(), root_.get());

    auto& context = *database_->managedObjectContext();
    ASSERT_TRUE(context.save());
    picture->setName("b.JPG");
    picture->setType("public.jpeg");
    picture->setFlags(picture->flags());
    picture->setParent(folder.get());
    EXPECT_FALSE(context.hasChanges());
    picture->setLocked(true);
    EXPECT_TRUE(picture->isLocked());
    EXPECT_TRUE(context.hasChanges());

    struct RawCase {
        const char* type;
        bool raw;
    } raws[] = {{"com.canon.CR2-RAW-IMAGE", true}, {".raw-image", true}, {"com.x.raw.image", true},
                {"public.radiance", true},         {"raw-image", false}, {"public.jpeg", false}};
    for (const RawCase& c : raws) {
        picture->setType(c.type);
        EXPECT_EQ(picture->isRAWFile(), c.raw) << c.type;
    }
    EXPECT_FALSE(folder->isRAWFile());
}

TEST_F(ItemTest, AttributeValuesAsText)
{
    struct Case {
        Value value;
        std::optional<std::string> text;
    } cases[] = {
        {Value(), std::nullopt},
        {Value(3), "3"},
        {Value(0.5), "0.5"},
        {Value("x"), "x"},
        {Value::array({1, 2, 3}), "1.2.3"},
        {Value::array({}), ""},
        {Value(Date {978307200}), "2001-01-01 00:00:00 +0000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileSystemItemMO::attributeValueToString(c.value), c.text) << c.value.description();
    // Bytes have no text: the log says so and shows only the start of them, however many (a
    // camera's maker notes run to tens of kilobytes).
    ScopedLogCapture log;
    EXPECT_EQ(FileSystemItemMO::attributeValueToString(Value(Value::Bytes(60000, 0x5A))), std::nullopt);
    EXPECT_TRUE(log.contains("FileSystemItemMO::attributeValueToString unknown value class"));
    EXPECT_TRUE(log.contains("<5a5a5a5a "));
    for (const std::string& line : log.lines())
        EXPECT_LE(line.size(), 400u) << line.substr(0, 80);
}

TEST_F(ItemTest, AttributeGroups)
{
    auto item = file("p.jpg");
    EXPECT_EQ(item->attributeWithName("displayName", kTagFileSystemItem), Value("p.jpg"));
    EXPECT_TRUE(item->attributeWithName("noSuchProperty", kTagFileSystemItem).isNull());
    EXPECT_EQ(item->attributeWithName("uuid", kTagFileSystemItem), Value(""));

    item->setAttribute(Value(), "caption", "{Group}");
    EXPECT_EQ(item->attributeNamesForTag("{Group}"), std::set<std::string> {"caption"});
    EXPECT_TRUE(item->attributeWithName("caption", "{Group}").isNull());
    item->setAttribute(Value(4), "caption", "{Group}");
    EXPECT_EQ(item->attributeWithName("caption", "{Group}"), Value("4"));

    item->setDatabaseRating(Value(5));
    item->setDatabaseTagged(Value(true));
    EXPECT_EQ(item->databaseRating(), Value("5"));
    EXPECT_EQ(item->attributeWithName("databaseTagged", kTagFileSystemItemDB), Value("1"));
    EXPECT_EQ(item->attributeWithName("databaseRating", kTagFileSystemItem), Value("5"));
    EXPECT_TRUE(item->databaseNotes().isNull());

    ASSERT_TRUE(item->setAttributesValues(std::nullopt, {"one", "two"}, kTagCategories, false));
    ASSERT_TRUE(item->setAttributesValues(std::nullopt, {"three"}, kTagCategories, false));
    EXPECT_EQ(item->attributeNamesForTag(kTagCategories), (std::set<std::string> {"one", "two", "three"}));
    EXPECT_TRUE(item->attributeWithName("one", kTagCategories).isNull());
    {
        ScopedLogCapture log;
        EXPECT_FALSE(item->setAttributesValues(std::vector<Value> {Value(1)}, {"one", "four"}, kTagCategories, true));
        EXPECT_TRUE(log.contains("FileSystemItemMO::setAttributesValues invalid values"));
    }
    EXPECT_EQ(item->attributeNamesForTag(kTagCategories).size(), 3u);
    ASSERT_TRUE(item->setAttributesValues(std::vector<Value> {Value("v"), Value()}, {"one", "four"}, kTagCategories, true));
    EXPECT_EQ(item->attributeNamesForTag(kTagCategories), (std::set<std::string> {"one", "four"}));
    EXPECT_EQ(item->attributeWithName("one", kTagCategories), Value("v"));
    EXPECT_TRUE(item->removeAttributes({"one", "absent"}, kTagCategories));
    EXPECT_EQ(item->attributeNamesForTag(kTagCategories), std::set<std::string> {"four"});
}

TEST_F(ItemTest, ReadingGroupsCreatesNoTags)
{
    auto item = file("p.jpg");
    item->setDatabaseRating(Value(3));
    ASSERT_TRUE(database_->managedObjectContext()->save());
    const std::string tags = "SELECT count(*) FROM Tag", names = "SELECT count(*) FROM TagName";
    const long long tagRows = committed(tags), nameRows = committed(names);
    ASSERT_GT(tagRows, 0);

    for (const char* group : {kTagCategories, "{FSIKeywords}", "{Never Written}"})
        EXPECT_TRUE(item->attributeNamesForTag(group).empty()) << group;
    EXPECT_TRUE(FileSystemItemMOCategory::categoryUniqueIDsForItem(item.get()).empty());
    EXPECT_TRUE(item->attributeWithName("caption", "{Never Written}").isNull());
    EXPECT_EQ(item->databaseRating(), Value("3"));
    ASSERT_TRUE(database_->managedObjectContext()->save());
    EXPECT_EQ(committed(tags), tagRows);
    EXPECT_EQ(committed(names), nameRows);
}

TEST_F(ItemTest, ImageFacts)
{
    auto item = file("p.jpg");
    auto facts = [&](const char* w, const char* h, const char* dpi, bool decodable) {
        item->setDecodable(decodable);
        item->removeAttributes({"PixelWidth", "PixelHeight", "DPIHeight"}, kTagRootPageMetadata);
        if (w)
            item->setAttribute(Value(w), "PixelWidth", kTagRootPageMetadata);
        if (h)
            item->setAttribute(Value(h), "PixelHeight", kTagRootPageMetadata);
        if (dpi)
            item->setAttribute(Value(dpi), "DPIHeight", kTagRootPageMetadata);
    };
    using Text = std::optional<std::string>;
    struct Case {
        const char *w, *h, *dpi;
        bool decodable;
        Text dimensions, inches;
        ItemSize size;
    } cases[] = {
        {"3000", "2000", "300", true, "3000 × 2000", "10.00 × 6.67", {3000, 2000}},
        {"3000", "2000", nullptr, true, "3000 × 2000", std::nullopt, {3000, 2000}},
        {"3000", "2000", "0", true, "3000 × 2000", std::nullopt, {3000, 2000}},
        {"3000", nullptr, "300", true, std::nullopt, std::nullopt, {3000, 0}},
        {"3000", "2000", "300", false, std::nullopt, std::nullopt, {0, 0}},
    };
    for (const Case& c : cases) {
        facts(c.w, c.h, c.dpi, c.decodable);
        EXPECT_EQ(item->userDimensions(), c.dimensions) << c.w << " " << (c.h ? c.h : "-") << " " << (c.dpi ? c.dpi : "-");
        EXPECT_EQ(item->userDimensionsInches(), c.inches);
        EXPECT_EQ(item->itemDimensions(), c.size);
        EXPECT_EQ(item->numberOfPages(), c.decodable ? Text("1") : std::nullopt);
        EXPECT_EQ(item->uncompressedSize(), c.decodable ? Text("<undefined>") : std::nullopt);
    }
}

TEST_F(ItemTest, ChildListEdges)
{
    auto img10 = file("img10");
    auto img2 = file("img2");
    auto hidden = file("a-hidden");
    hidden->setVisible(false);
    const int visibleValid = 1 + 16 + 8;
    ASSERT_EQ(root_->numberOfChildrenWithMask(kMaskAll), 3);
    EXPECT_EQ(root_->childAtIndex(0), hidden);
    EXPECT_EQ(root_->childAtIndex(1), img2);
    EXPECT_EQ(root_->childAtIndex(2), img10);
    EXPECT_EQ(root_->numberOfChildrenWithMask(visibleValid), 2);
    EXPECT_EQ(img2->numberOfChildrenWithMask(kMaskAll), -1);
    {
        ScopedLogCapture log;
        EXPECT_FALSE(root_->childAtIndex(3, kMaskAll));
        EXPECT_TRUE(log.contains("childAtIndex: Caught NSRangeException: "));
    }

    // A child that stops matching leaves that list only.
    img10->setValid(false);
    root_->updateObjectInCache(img10.get());
    EXPECT_FALSE(root_->containsChild(img10.get(), visibleValid));
    EXPECT_TRUE(root_->containsChild(img10.get(), kMaskAll));

    root_->deleteChild(img2.get(), false);
    EXPECT_FALSE(img2->isValid());
    EXPECT_EQ(img2->refreshStatus(), kRefreshStatusNotVerified);
    EXPECT_TRUE(root_->containsChild(img2.get(), kMaskAll));
    EXPECT_FALSE(root_->containsChild(img2.get(), visibleValid));

    EXPECT_EQ(root_->childWithName("img2"), img2);
    root_->deleteChild(img2.get(), true);
    EXPECT_FALSE(root_->childWithName("img2"));
    EXPECT_FALSE(root_->containsChild(img2.get(), kMaskAll));
    EXPECT_TRUE(img2->isDeleted());

    auto stranger = database_->createChildOf(nullptr, "elsewhere", MediaDatabase::EntityFile);
    try {
        root_->deleteChild(stranger.get(), true);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.name(), "DeleteError");
        EXPECT_EQ(e.reason(), "This is not a child.");
    }
    ScopedLogCapture log;
    EXPECT_TRUE(root_->checkCache());
    EXPECT_TRUE(root_->checkNamedCache());
    EXPECT_TRUE(log.lines().empty());
}

// The lists kept child by child agree with lists built from scratch, whatever happens.
// The full child list is in the order of compareNamesNumerically, then the names' bytes, then
// creation: for names mixing digit runs of every length (leading zeros, over 8 digits) with
// bytes below, between and above the digits, and for a folder where a run over 255 digits
// makes the list sort by the comparison itself.
TEST_F(ItemTest, FullListFollowsTheNumericNameOrder)
{
    std::mt19937 random(20261210);
    auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    const std::string others[] = {"a", "B", ".", "/", ":", "~", " ", "\x7f", "\xc3\xa9", "_"};
    auto randomName = [&] {
        std::string name;
        for (std::size_t part = 0, parts = 1 + pick(4); part < parts; ++part) {
            if (pick(2) == 0)
                name += std::string(pick(3), '0') + std::to_string(pick(1000)) + (pick(4) == 0 ? "123456789" : "");
            else
                name += others[pick(std::size(others))];
        }
        return name;
    };
    auto expectNumericOrder = [](FileSystemItemMO& folder) {
        std::vector<Ref<FileSystemItemMO>> expected = folder.elements();
        std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
            if (const Result byName = compareNamesNumerically(a->name(), b->name()); byName != Result::Same)
                return byName == Result::Ascending;
            if (a->name() != b->name())
                return a->name() < b->name();
            return a->rowID() < b->rowID();
        });
        const auto& list = folder.childrenWithMask(kMaskAll);
        ASSERT_EQ(list.size(), expected.size());
        for (std::size_t i = 0; i < list.size(); ++i)
            ASSERT_EQ(list[i], expected[i]) << i << ": " << list[i]->name() << " / " << expected[i]->name();
    };
    for (int i = 0; i < 2000; ++i)
        file(randomName());
    file("img2");
    file("img02"); // equal by value: by bytes
    file("img2");  // equal names: by creation
    expectNumericOrder(*root_);

    auto other = root_->createChildWithName("other", MediaDatabase::EntityFolder, true);
    for (const std::string& name : {std::string(300, '7'), std::string("x") + std::string(256, '1'), std::string("x9"),
                                    std::string("x10"), std::string("a")})
        other->createChildWithName(name, MediaDatabase::EntityFile, true);
    expectNumericOrder(*other);
}

TEST_F(ItemTest, ChildListsAgreeWithAModel)
{
    std::mt19937 random(20261210);
    const int masks[] = {kMaskAll, 1 + 16 + 8, 1 + 16 + 4 + 512 + 256, 2 + 32 + 8 + 64, 1 + 2 + 16 + 32 + 8 + 128,
                         1 + 16 + 4 + 256, 0, 1 + 2 + 4 + 8 + 16 + 32 + 64};
    std::vector<Ref<FileSystemItemMO>> children;
    std::set<std::string> usedNames;
    auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    auto freshName = [&] {
        // Few stems and numbers with leading zeros, so equal-comparing names (img02, img2) are common.
        static const char* stems[] = {"img", "IMG", "a", "b", ""};
        for (;;) {
            std::string name = stems[pick(5)] + std::string(pick(3), '0') + std::to_string(pick(40));
            if (pick(4) == 0)
                name += ".jpg";
            if (usedNames.insert(name).second)
                return name;
        }
    };
    for (int mask : masks)
        root_->childrenWithMask(mask);
    root_->childWithName("");

    const int steps = 10000;
    for (int step = 0; step < steps; ++step) {
        const std::size_t action = children.empty() ? 0 : pick(10);
        if (action < 3) {
            const bool folder = pick(3) == 0;
            auto child = root_->createChildWithName(freshName(), folder ? "Folder" : "File", pick(2) == 0);
            child->setValid(pick(4) != 0);
            child->setDecodable(pick(2) == 0);
            child->setBundle(folder && pick(2) == 0);
            root_->updateObjectInCache(child.get());
            children.push_back(child);
        } else if (action < 6) {
            auto& child = children[pick(children.size())];
            child->setVisible(pick(2) == 0);
            child->setValid(pick(3) != 0);
            child->setDecodable(pick(2) == 0);
            root_->updateObjectInCache(child.get());
        } else if (action < 7) {
            // A rename: out of the lists before, back in after.
            auto& child = children[pick(children.size())];
            root_->removeObjectFromCache(child.get());
            root_->removeObjectFromNamedCache(child.get());
            usedNames.erase(child->name());
            child->setName(freshName());
            root_->updateObjectInCache(child.get());
            root_->insertObjectInNamedCache(child.get());
        } else if (action < 8) {
            root_->deleteChild(children[pick(children.size())].get(), false);
        } else {
            const std::size_t index = pick(children.size());
            usedNames.erase(children[index]->name());
            root_->deleteChild(children[index].get(), true);
            children.erase(children.begin() + static_cast<std::ptrdiff_t>(index));
        }

        if (step % 25 != 0 && step != steps - 1)
            continue;
        for (int mask : masks) {
            const auto* list = root_->cacheByMask(mask);
            ASSERT_TRUE(list);
            std::multiset<const FileSystemItemMO*> expected, actual;
            for (const auto& child : children)
                if (child->isMatchingToMask(mask))
                    expected.insert(child.get());
            for (const auto& child : *list)
                actual.insert(child.get());
            ASSERT_EQ(actual, expected) << "step " << step << " mask " << mask;
            for (std::size_t i = 1; i < list->size(); ++i)
                ASSERT_NE((*list)[i - 1]->compareName((*list)[i].get()), Result::Descending) << "step " << step;
        }
        for (const auto& child : children)
            ASSERT_EQ(root_->childWithName(child->name()), child) << "step " << step;
        if (step % 500 == 0 || step == steps - 1) {
            ScopedLogCapture log;
            EXPECT_TRUE(root_->checkCache()) << "step " << step;
            EXPECT_TRUE(root_->checkNamedCache()) << "step " << step;
            ASSERT_EQ(log.lines(), std::vector<std::string> {});
        }
    }
}

TEST_F(ItemTest, RefreshStateOfItemAndChildren)
{
    auto child = file("a.jpg");
    struct Case {
        std::int32_t status;
        bool needsRefresh;
        bool pending;
    } cases[] = {{kRefreshStatusNotVerified, true, false}, {0, false, false}, {1, false, true}, {4, false, true},
                 {kRefreshStatusChanged, true, false}, {kRefreshStatusChanged | 2, true, true}};
    root_->setRefreshStatus(0);
    for (const Case& c : cases) {
        child->setRefreshStatus(c.status);
        EXPECT_EQ(child->needsRefresh(), c.needsRefresh) << c.status;
        EXPECT_EQ(child->hasPendingRefreshStatusRequests(), c.pending) << c.status;
        EXPECT_EQ(root_->childrenRefreshStatusWithMask(kMaskAll), c.pending ? 1 : 0) << c.status;
        EXPECT_EQ(root_->childrenRefreshStatusWithMask(kMaskFolders | kMaskVisible | kMaskValid), 0) << c.status;
    }
    root_->setRefreshStatus(1);
    EXPECT_EQ(root_->childrenRefreshStatusWithMask(0), 1);
    EXPECT_EQ(child->refreshStatus(), kRefreshStatusChanged | 2);
    EXPECT_EQ(file("fresh.jpg")->refreshStatus(), kRefreshStatusNotVerified);
}
