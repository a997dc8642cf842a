// The metadata provider over a real catalogue: values of a picture the file thread read, edits
// written back to the item, keyword completion, and reading that creates nothing.

#include <gtest/gtest.h>

#include <exiv2/exiv2.hpp>

#include <QImage>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../Common/FileSystem/Catalogue/CatalogueTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMOCategory.h"
#include "Metadata/MetadataProvider.h"
#include "Platform/FilePaths.h"
#include "Platform/Imaging/ImageProperties.h"

namespace vistel::test {
namespace {

// A 4000 × 3000 JPEG tagged the way a camera would: turned (orientation 6), exposure, lens,
// position, IPTC caption and keywords, 300 dpi.
void writeTaggedPicture(const std::string& path)
{
    QImage image(4000, 3000, QImage::Format_RGB32);
    image.fill(QColor(90, 140, 60));
    ASSERT_TRUE(image.save(QString::fromStdString(path), "JPEG", 80));
    auto file = Exiv2::ImageFactory::open(path);
    ASSERT_TRUE(file.get());
    file->readMetadata();
    Exiv2::ExifData& exif = file->exifData();
    exif["Exif.Image.Make"] = "Ostrander";
    exif["Exif.Image.Model"] = "Pelican 7";
    exif["Exif.Image.Orientation"] = uint16_t(6);
    exif["Exif.Image.XResolution"] = Exiv2::URational(300, 1);
    exif["Exif.Image.YResolution"] = Exiv2::URational(300, 1);
    exif["Exif.Image.ResolutionUnit"] = uint16_t(2);
    exif["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 125);
    exif["Exif.Photo.FNumber"] = Exiv2::URational(28, 10);
    exif["Exif.Photo.ShutterSpeedValue"] = Exiv2::Rational(697, 100);
    exif["Exif.Photo.ApertureValue"] = Exiv2::URational(297, 100);
    exif["Exif.Photo.ISOSpeedRatings"] = uint16_t(200);
    exif["Exif.Photo.FocalLength"] = Exiv2::URational(50, 1);
    exif["Exif.Photo.Flash"] = uint16_t(16);
    exif["Exif.Photo.LensModel"] = "Wide 50mm F2.8";
    exif["Exif.GPSInfo.GPSVersionID"] = "2 2 0 0";
    exif["Exif.GPSInfo.GPSLatitudeRef"] = "N";
    Exiv2::URationalValue latitude;
    latitude.read("48/1 51/1 30/1");
    exif.add(Exiv2::ExifKey("Exif.GPSInfo.GPSLatitude"), &latitude);
    Exiv2::IptcData& iptc = file->iptcData();
    iptc["Iptc.Application2.Caption"] = "Harbour at dusk";
    Exiv2::StringValue keyword("harbour");
    iptc.add(Exiv2::IptcKey("Iptc.Application2.Keywords"), &keyword);
    keyword.read("boats");
    iptc.add(Exiv2::IptcKey("Iptc.Application2.Keywords"), &keyword);
    file->writeMetadata();
}

// The value of `name` under `category`, or null.
Ref<MetadataValue> field(const MetadataProvider& provider, const std::string& category, const std::string& name)
{
    auto group = provider.categoryItems(category);
    if (!group)
        return {};
    for (const auto& value : group->children())
        if (value->key() == name)
            return value;
    return {};
}

std::string shown(const MetadataProvider& provider, const std::string& category, const std::string& name)
{
    auto value = field(provider, category, name);
    return value ? provider.objectValueForColumnID(MetadataProvider::ColumnValue, value.get()).toString() : "<absent>";
}

std::vector<std::string> categories(const MetadataProvider& provider)
{
    std::vector<std::string> keys;
    for (const auto& category : provider.dataCache())
        keys.push_back(category->key());
    return keys;
}

class ReloadRecorder : public IFSItemChangedNotification {
public:
    void notifyFSItemChanged(FileSystemItemMO* item, bool reload) override { changes.push_back({item, reload}); }
    std::vector<std::pair<FileSystemItemMO*, bool>> changes;
};

// A catalogue whose folder holds the tagged picture, refreshed by the real file thread.
class MetadataProviderTest : public CatalogueTest {
protected:
    static void SetUpTestSuite()
    {
        tree_ = new TemporaryFolder("vistel-metadata");
        writeTaggedPicture(*tree_ / "harbour.jpg");
        std::error_code ignored;
        std::filesystem::copy_file(*tree_ / "harbour.jpg", *tree_ / "second.jpg", ignored);
    }
    static void TearDownTestSuite()
    {
        delete tree_;
        tree_ = nullptr;
    }
    void SetUp() override
    {
        CatalogueTest::SetUp();
        openCatalogueForUpdates();
        Ref<FileSystemItemMO> item = database_->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
        for (const std::string& component : pathComponents(tree_->path()))
            if (component != "/")
                item = database_->createChildOf(item.get(), component, MediaDatabase::EntityFolder);
        folder_ = item;
        folder_->setRefreshStatus(kRefreshStatusNotVerified);
        folder_->enqueueRefresh();
        ASSERT_TRUE(spinUntil([&] { return folder_->refreshStatus() == 0; }, 20000));
        for (const char* name : {"harbour.jpg", "second.jpg"}) {
            Ref<FileSystemItemMO> picture = folder_->childWithName(name);
            ASSERT_TRUE(picture) << name;
            picture->enqueueRefresh();
            ASSERT_TRUE(spinUntil([&] { return !picture->hasPendingRefreshStatusRequests(); }, 30000)) << name;
        }
        picture_ = folder_->childWithName("harbour.jpg");
        second_ = folder_->childWithName("second.jpg");
    }
    void TearDown() override
    {
        database_->stopJobs();
        folder_ = picture_ = second_ = nullptr;
        CatalogueTest::TearDown();
    }

    static TemporaryFolder* tree_;
    Ref<FileSystemItemMO> folder_, picture_, second_;
};

TemporaryFolder* MetadataProviderTest::tree_ = nullptr;

TEST_F(MetadataProviderTest, ExifValuesAreGroupedInTableOrderAndConverted)
{
    auto provider = MetadataProvider::providerWithName("EXIF", MetadataProfile::exifProfile());
    provider->updateWithItems({picture_});
    const std::vector<std::string> groups = categories(*provider);
    // Camera rows come first in the table; the maker-note rows have no value here.
    ASSERT_FALSE(groups.empty());
    EXPECT_EQ(groups.front(), "Camera");
    auto position = [&](const std::string& key) { return std::find(groups.begin(), groups.end(), key) - groups.begin(); };
    EXPECT_LT(position("Camera"), position("Image"));
    EXPECT_LT(position("Image"), position("GPS"));
    EXPECT_EQ(position("Nikon Maker Notes"), static_cast<long>(groups.size()));

    struct Case {
        const char* category;
        const char* name;
        const char* text;
    } cases[] = {
        {"Camera", "Make", "Ostrander"},
        {"Camera", "Model", "Pelican 7"},
        {"Camera", "Orientation", "The 0th row is at the visual right-hand side of the image, and the 0th column is the visual top."},
        {"Camera", "Resolution Unit", "inches"},
        {"Image", "FNumber", "ƒ/2.8"},
        {"Image", "Exposure Time", "1/125 s"},
        {"Image", "Shutter Speed Value", "1/125 s"},
        {"Image", "Aperture Value", "ƒ/2.8"},
        {"Image", "ISO Speed Ratings", "ISO 200"},
        {"Image", "Focal Length", "50 mm"},
        {"Image", "Flash", "Flash did not fire, compulsory flash mode"},
        {"Image", "Lens Model", "Wide 50mm F2.8"},
        {"GPS", "LatitudeRef", "N"},
        {"Image", "Subject Distance", "<absent>"}, // a row the picture has no value for
    };
    for (const Case& c : cases)
        EXPECT_EQ(shown(*provider, c.category, c.name), c.text) << c.category << " / " << c.name;

    // Inside a category values follow the table.
    auto camera = provider->categoryItems("Camera");
    for (std::size_t i = 1; i < camera->children().size(); ++i)
        EXPECT_LT(camera->children()[i - 1]->priority(), camera->children()[i]->priority());
    // A category is a group and shows no text; a field is neither.
    EXPECT_TRUE(provider->isGroupItem(camera.get()));
    EXPECT_EQ(provider->objectValueForColumnID(MetadataProvider::ColumnValue, camera.get()), Value(""));
    EXPECT_EQ(provider->objectValueForColumnID(MetadataProvider::ColumnName, camera.get()), Value("Camera"));
    EXPECT_FALSE(provider->isItemExpandable(camera->children().front().get()));
    EXPECT_EQ(provider->numberOfChildrenOfItem(nullptr), groups.size());
    EXPECT_EQ(provider->childOfItem(0, nullptr), camera);

    // Another item is a rebuild: nothing of the picture stays for a folder without EXIF.
    provider->updateWithItems({folder_, picture_});
    EXPECT_TRUE(provider->dataCache().empty());
    EXPECT_EQ(provider->fileSystemItems().front(), folder_);
}

TEST_F(MetadataProviderTest, FileAndDatabaseRows)
{
    auto file = MetadataProvider::providerWithName("File", MetadataProfile::fileProfile());
    file->updateWithItems({picture_});
    EXPECT_EQ(shown(*file, "Image Attributes", "Image Dimensions"), "3000 × 4000");
    EXPECT_EQ(shown(*file, "File Information", "Name"), "harbour.jpg");
    EXPECT_EQ(shown(*file, "EXIF Metadata Summary", "FNumber"), "ƒ/2.8");

    auto database = MetadataProvider::providerWithName("Database", MetadataProfile::databaseProfile());
    database->updateWithItems({picture_});
    // Nothing stored yet: the item's own fields show "" and the keyword row an empty list.
    EXPECT_EQ(shown(*database, "Caption", "Caption"), "");
    EXPECT_EQ(shown(*database, "General", "Rating"), "");
    auto keywords = field(*database, "Keywords", "Keywords");
    ASSERT_TRUE(keywords);
    EXPECT_TRUE(keywords->hasConverter());
    EXPECT_FALSE(database->isGroupItem(keywords.get()));
    EXPECT_EQ(database->uiTypeForItem(keywords.get()), 6);

    database->updateWithItems({});
    EXPECT_TRUE(database->dataCache().empty());
    EXPECT_TRUE(database->fileSystemItems().empty());
}

TEST_F(MetadataProviderTest, RefreshReportsExactlyWhatChanged)
{
    auto provider = MetadataProvider::providerWithName("Database", MetadataProfile::databaseProfile());
    provider->updateWithItems({picture_});
    EXPECT_TRUE(provider->updateChangedItems({picture_}).empty());

    picture_->setDatabaseCaption(Value("Harbour at dusk"));
    EXPECT_TRUE(provider->updateChangedItems({second_}).empty()); // not the item shown
    const auto changed = provider->updateChangedItems({second_, picture_});
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed.front()->key(), "Caption");
    EXPECT_EQ(changed.front()->value(), Value("Harbour at dusk"));
    EXPECT_EQ(changed.front(), field(*provider, "Caption", "Caption"));
    EXPECT_TRUE(provider->updateChangedItems({picture_}).empty());
}

TEST_F(MetadataProviderTest, EditsGoToTheFirstItemAndAreAnnounced)
{
    ReloadRecorder recorder;
    database_->addItemUpdateObserver(&recorder, nullptr);
    auto provider = MetadataProvider::providerWithName("Database", MetadataProfile::databaseProfile());
    provider->updateWithItems({picture_, second_});

    auto keywords = field(*provider, "Keywords", "Keywords");
    ASSERT_TRUE(keywords);
    provider->setObjectValue(Value("b,a,b"), MetadataProvider::ColumnValue, keywords.get());
    EXPECT_EQ(picture_->attributeNamesForTag(kTagKeywords), (std::set<std::string> {"a", "b"}));
    EXPECT_EQ(keywords->covertedValue(), Value("a,b"));
    provider->setObjectValue(Value("c,a"), MetadataProvider::ColumnValue, keywords.get());
    EXPECT_EQ(picture_->attributeNamesForTag(kTagKeywords), (std::set<std::string> {"a", "c"}));
    provider->setObjectValue(Value(""), MetadataProvider::ColumnValue, keywords.get());
    EXPECT_TRUE(picture_->attributeNamesForTag(kTagKeywords).empty());

    auto rating = field(*provider, "General", "Rating");
    ASSERT_TRUE(rating);
    provider->setObjectValue(Value(4), MetadataProvider::ColumnValue, rating.get());
    EXPECT_EQ(picture_->databaseRating(), Value("4"));
    // Only the first item is written; a rename of the row writes nothing.
    EXPECT_TRUE(second_->databaseRating().isNull());
    EXPECT_TRUE(second_->attributeNamesForTag(kTagKeywords).empty());
    provider->setObjectValue(Value("Stars"), MetadataProvider::ColumnName, rating.get());
    EXPECT_EQ(rating->key(), "Stars");
    EXPECT_EQ(picture_->databaseRating(), Value("4"));

    ASSERT_TRUE(spinUntil([&] { return recorder.changes.size() >= 1; }, 5000));
    spinUntil([] { return false; }, 100);
    for (const auto& [item, reload] : recorder.changes) {
        EXPECT_EQ(item, picture_.get());
        EXPECT_FALSE(reload);
    }
    database_->removeItemUpdateObserver(&recorder, nullptr);
}

TEST_F(MetadataProviderTest, ApplyingACategoryToggles)
{
    auto provider = MetadataProvider::providerWithName("Database", MetadataProfile::databaseProfile());
    Ref<FileSystemItemMOCategory> places = FileSystemItemMOCategory::rootCategory()->childWithName("Places");
    ASSERT_TRUE(places);
    EXPECT_FALSE(provider->stateForCategory(places.get())); // no item
    provider->applyCategory(places.get());                  // nothing to apply to
    provider->updateWithItems({picture_, second_});
    EXPECT_FALSE(provider->stateForCategory(places.get()));
    provider->applyCategory(places.get());
    EXPECT_TRUE(provider->stateForCategory(places.get()));
    EXPECT_TRUE(places->isAssignedToTheItem(picture_.get()));
    EXPECT_FALSE(places->isAssignedToTheItem(second_.get()));
    provider->applyCategory(places.get());
    EXPECT_FALSE(provider->stateForCategory(places.get()));
    EXPECT_FALSE(places->isAssignedToTheItem(picture_.get()));
}

// --- completion and reading without writing, over items made in the catalogue alone -------------

class MetadataCatalogueTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        openCatalogue();
        root_ = database_->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
    }
    long long rows(const char* entity)
    {
        auto all = database_->searchObjectsBy("", {}, 0, entity);
        return all ? static_cast<long long>(all->size()) : -1;
    }
    Ref<FileSystemItemMO> root_;
};

TEST_F(MetadataCatalogueTest, CompletionOffersStoredKeywordsThatBeginWithTheTypedText)
{
    auto first = pictureItem(root_, "one.jpg");
    auto second = pictureItem(root_, "two.jpg");
    ASSERT_TRUE(first->setAttributesValues(std::nullopt, {"Étang", "etude", "Eagle", "Ёлка"}, kTagKeywords, false));
    ASSERT_TRUE(second->setAttributesValues(std::nullopt, {"50%off", "5_0", "a*b", "ab", "etude"}, kTagKeywords, false));
    ASSERT_TRUE(FileSystemItemMOCategory::rootCategory()->addChildWithName("Everest"));
    using List = std::optional<std::vector<std::string>>;
    const List eWords = std::vector<std::string> {"Eagle", "etude", "Étang"};
    struct Case {
        const char* typed;
        std::set<std::string> used;
        List expected;
    } cases[] = {
        {"e", {}, eWords},
        {"é", {}, eWords},
        {"E", {}, eWords},
        {"ё", {}, std::vector<std::string> {"Ёлка"}},
        {"ЁЛ", {}, std::vector<std::string> {"Ёлка"}},
        {"5%", {}, std::nullopt},
        {"5_", {}, std::vector<std::string> {"5_0"}},
        {"a*", {}, std::vector<std::string> {"a*b"}},
        {"a", {}, std::vector<std::string> {"a*b", "ab"}},
        {"?", {}, std::nullopt},
        {"Ev", {}, std::nullopt}, // a category, not a keyword
        {"e", {"etude", "Eagle"}, std::vector<std::string> {"Étang"}},
        {"ab", {"ab"}, std::vector<std::string> {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MetadataProvider::keywordsList(kTagKeywords, c.typed, c.used), c.expected) << c.typed;

    // Completion in a set nobody wrote answers nothing and creates nothing.
    const long long names = rows(MediaDatabase::EntityTagName);
    EXPECT_EQ(MetadataProvider::keywordsList("{Never Written}", "e", {}), std::nullopt);
    EXPECT_EQ(rows(MediaDatabase::EntityTagName), names);
}

TEST_F(MetadataCatalogueTest, ViewingThroughEveryTableCreatesNoTags)
{
    std::vector<Ref<FileSystemItemMO>> items;
    for (int i = 0; i < 100; ++i) {
        items.push_back(pictureItem(root_, "p" + std::to_string(i) + ".jpg"));
        if (i % 3 == 0)
            items.back()->setDatabaseRating(Value(i % 6));
        if (i % 7 == 0)
            items.back()->setAttribute(Value("2.8"), kImagePropertyExifFNumber, kImagePropertyExifDictionary);
    }
    ASSERT_TRUE(database_->managedObjectContext()->save());
    const long long tags = rows(MediaDatabase::EntityTag), names = rows(MediaDatabase::EntityTagName);
    const std::string path = database_->databaseURL();

    for (auto profile : {MetadataProfile::databaseProfile(), MetadataProfile::fileProfile(), MetadataProfile::exifProfile(),
                         MetadataProfile::iptcProfile(), MetadataProfile::autoCategoriesProfile()}) {
        auto provider = MetadataProvider::providerWithName("view", profile);
        for (const auto& item : items) {
            provider->updateWithItems({item});
            provider->updateChangedItems({item});
            for (std::size_t c = 0; c < provider->numberOfChildrenOfItem(nullptr); ++c) {
                auto category = provider->childOfItem(c, nullptr);
                for (std::size_t f = 0; f < provider->numberOfChildrenOfItem(category.get()); ++f)
                    provider->objectValueForColumnID(MetadataProvider::ColumnValue,
                                                     provider->childOfItem(f, category.get()).get());
            }
        }
    }
    EXPECT_FALSE(database_->managedObjectContext()->hasChanges());
    ASSERT_TRUE(database_->managedObjectContext()->save());
    EXPECT_EQ(rows(MediaDatabase::EntityTag), tags);
    EXPECT_EQ(rows(MediaDatabase::EntityTagName), names);
    EXPECT_EQ(committedNumber(path, "SELECT count(*) FROM Tag"), tags);
    EXPECT_EQ(committedNumber(path, "SELECT count(*) FROM TagName"), names);
}

} // namespace
} // namespace vistel::test
