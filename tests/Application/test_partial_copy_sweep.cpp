// At start-up the folders the catalogue lists are swept of the partial copies that killed
// copies left there: an abandoned one goes, one a live copy holds stays, and so does one in a
// folder the catalogue does not list.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../Common/FileSystem/Catalogue/CatalogueTestSupport.h"
#include "../Common/FileSystem/FileSystemFixtures.h"
#include "Application/PartialCopySweep.h"
#include "Platform/FileOperations/FileTree.h"

using namespace vistel;

namespace {

class PartialCopySweep : public test::CatalogueTest { };

TEST_F(PartialCopySweep, AbandonedPartialCopiesInCataloguedFoldersGo)
{
    test::ScratchFolder scratch;
    ::mkdir((scratch / "listed").c_str(), 0755);
    ::mkdir((scratch / "unlisted").c_str(), 0755);
    MediaDatabase& catalogue = openCatalogue();
    // The catalogue lists the folders on the way to "listed", the way a visit leaves them.
    Ref<FileSystemItemMO> item = catalogue.createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
    item->setValid(true);
    for (const std::string& name : {std::string("tmp"), lastPathComponent(scratch.path()), std::string("listed")})
        item = test::listedFolderItem(item, name);
    ASSERT_EQ(item->fullPath(), scratch / "listed");

    const std::string abandoned = uniqueHiddenName("partial");
    const std::string held = uniqueHiddenName("partial");
    for (const std::string& path : {scratch / ("listed/" + abandoned), scratch / ("listed/" + held),
                                    scratch / ("unlisted/" + abandoned)}) {
        test::writeFile(path, "half a picture");
        test::makeOld(path);
    }
    // A copy still under way holds its partial item's lock.
    const FileDescriptor writer(::open((scratch / ("listed/" + held)).c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(::flock(writer.get(), LOCK_EX), 0);

    bool swept = false;
    sweepPartialCopiesInCataloguedFolders(catalogue, [&] { swept = true; });
    ASSERT_TRUE(test::spinUntil([&] { return swept; }));
    EXPECT_EQ(test::namesIn(scratch / "listed"), std::set<std::string> {held});
    EXPECT_EQ(test::namesIn(scratch / "unlisted"), std::set<std::string> {abandoned});
}

} // namespace
