// Item icons and decoded thumbnails in the object cache.

#include <gtest/gtest.h>

#include "CatalogueTestSupport.h"
#include "Common/FileSystem/FileSystemFunctions.h"
#include "Common/Icons/IconTheme.h"
#include "Common/Icons/NSImageExtention.h"
#include "Common/Tools/Cache/ObjectsCacheReleaser.h"

namespace vistel::test {
namespace {

// A representation that says it is a large decoded picture without holding its pixels.
class SizedRep : public ImageRep {
public:
    static Ref<SizedRep> create(std::size_t side)
    {
        auto rep = Ref<SizedRep>::adopt(new SizedRep());
        rep->setPixelsWide(side);
        rep->setPixelsHigh(side);
        rep->setBitsPerSample(8);
        rep->setSize(QSizeF(double(side), double(side)));
        return rep;
    }
    Ref<PlatformImage> cgImage() override { return {}; }
};

std::vector<std::uint8_t> pixelsOf(const Ref<MultiImage>& image)
{
    return image ? image->tiffRepresentation() : std::vector<std::uint8_t>();
}

class ItemIconsTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        openCatalogue();
        root_ = database_->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
    }
    Ref<FileSystemItemMO> root_;
};

TEST_F(ItemIconsTest, AMountPointShowsItsDrivesIcon)
{
    // "/" is always a registered volume.
    Ref<MultiImage> drive = FileSystemFunctions::iconForFile("/");
    ASSERT_TRUE(drive);
    Ref<FileSystemItemMO> plain = database_->createChildOf(root_.get(), "no-mount-here", MediaDatabase::EntityFolder);
    EXPECT_EQ(pixelsOf(root_->iconImageOfSize({32, 32})), pixelsOf(drive));
    EXPECT_NE(pixelsOf(plain->iconImageOfSize({32, 32})), pixelsOf(drive));
    EXPECT_FALSE(FileSystemFunctions::iconForFile("not a path"));
}

TEST_F(ItemIconsTest, SizesAndTheProgramsOwnDefaultIcon)
{
    Ref<FileSystemItemMO> file = database_->createChildOf(root_.get(), "picture.jpg", MediaDatabase::EntityFile);
    Ref<MultiImage> sized = file->iconImageOfSize({48, 48});
    ASSERT_TRUE(sized);
    EXPECT_EQ(sized->size(), QSizeF(48, 48));
    EXPECT_FALSE(sized->scalesWhenResized());
    EXPECT_EQ(file->iconImage()->size(), QSizeF(32, 32));
    EXPECT_EQ(file->iconImage(), file->iconImage());
    // A theme icon is not the item's own image: nothing to count for the cache.
    EXPECT_EQ(file->cacheSize(), 0);

    // Without any icon theme the program's own document icon, at its own size.
    TemporaryFolder empty("vistel-no-icons");
    const std::vector<std::string> paths = IconTheme::searchPaths();
    IconTheme::setSearchPaths({empty.path()});
    Ref<MultiImage> fallback = file->iconImageOfSize({0, 0});
    IconTheme::setSearchPaths(paths);
    ASSERT_TRUE(fallback);
    EXPECT_EQ(fallback->size(), QSizeF(128, 128));
}

TEST_F(ItemIconsTest, StoredPicturesLiveInHoldersOfTheirOwn)
{
    Ref<FileSystemItemMO> file = database_->createChildOf(root_.get(), "a.jpg", MediaDatabase::EntityFile);
    file->setThumbnailData(std::nullopt);
    EXPECT_FALSE(file->hasCachedThumbnailData());
    file->setThumbnailLargeData(Value::Bytes {0xFF, 0xD8});
    EXPECT_TRUE(file->hasCachedThumbnailLargeData());
    EXPECT_EQ(file->thumbnailLargeData(), (Value::Bytes {0xFF, 0xD8}));
    file->setRefreshStatus(0);
    file->resetAsChanged();
    EXPECT_FALSE(file->hasCachedThumbnailLargeData());
    EXPECT_TRUE(file->needsRefresh());
}

TEST_F(ItemIconsTest, DecodedThumbnailsOverTheMemoryLimitAreTrimmed)
{
    ObjectsCacheReleaser& releaser = ObjectsCacheReleaser::sharedCacheReleaser();
    std::vector<Ref<FileSystemItemMO>> items;
    // 8 items of 64 MiB each: 512 MiB held, 300 MiB allowed.
    for (int i = 0; i < 8; ++i) {
        Ref<FileSystemItemMO> item = database_->createChildOf(root_.get(), "big" + std::to_string(i) + ".jpg",
                                                              MediaDatabase::EntityFile);
        Ref<MultiImage> image = MultiImage::create();
        image->addRepresentation(SizedRep::create(4096));
        item->setThumbnailImage(image);
        items.push_back(item);
    }
    EXPECT_EQ(items[0]->cacheSize(), 64LL << 20);
    EXPECT_GE(releaser.totalCacheSize(), 512LL << 20);
    releaser.cachePolicy().releaseCacheTimerProc();
    EXPECT_LE(releaser.totalCacheSize(), ObjectsCacheReleaser::SharedMaxMemorySize);
    // The least recently used went first.
    EXPECT_FALSE(items.front()->hasCachedThumbnailImage());
    EXPECT_TRUE(items.back()->hasCachedThumbnailImage());
    items.clear(); // items leave the releaser with their last reference
}

} // namespace
} // namespace vistel::test
