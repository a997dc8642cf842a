#pragma once
// Fixtures of the catalogue tests: a catalogue whose file lives in a fresh Application Support
// folder, registered as the default catalogue; reading what was committed to the file through
// a second connection; spinning the main loop; what path updaters tell their observer.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "../../Alert/AlertTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/FileSystem/Catalogue/MediaDatabaseRecursiveUpdater.h"
#include "Common/FileSystem/Catalogue/UpdaterThreads.h"
#include "Platform/Gui/PlatformApplication.h"
#include "Platform/Imaging/ImagePropertyMapping.h"
#include "Platform/UserDefaults.h"
#include "SQLiteTestSupport.h"
#include "TestSupport.h"

namespace vistel::test {

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousDataHome_ = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
        ::setenv("XDG_DATA_HOME", folder_.path().c_str(), 1);
        previousTerminate_ = PlatformApplication::setTerminateHandler([this] { ++terminations_; });
    }
    void TearDown() override
    {
        // No file thread outlives its test: trees rooted at "/" get the real "/" listed, and a
        // listing still running at exit would use Qt's type database after it is gone.
        MediaDatabaseUpdaterThread::stopAllThreads();
        closeCatalogue();
        PlatformApplication::setTerminateHandler(std::move(previousTerminate_));
        // Preferences a test kept in its folder are saved now, and nothing later writes there:
        // a save after the folder went would make it again.
        if (UserDefaults::standard().path().rfind(folder_.path() + "/", 0) == 0)
            UserDefaults::standard().setPath({});
        if (previousDataHome_.empty())
            ::unsetenv("XDG_DATA_HOME");
        else
            ::setenv("XDG_DATA_HOME", previousDataHome_.c_str(), 1);
    }

    // A new catalogue object over the file (the previous one is let go, as at quitting).
    MediaDatabase& openCatalogue()
    {
        closeCatalogue();
        database_ = MediaDatabase::create();
        MediaDatabase::setDefaultMediaDatabase(database_.get());
        return *database_;
    }
    // The same, with what the updater threads read: the metadata table and the thumbnail style.
    MediaDatabase& openCatalogueForUpdates()
    {
        ImagePropertyMapping::initialize();
        registerThumbnailStyleDefaults();
        return openCatalogue();
    }
    void closeCatalogue()
    {
        if (database_ && MediaDatabase::defaultMediaDatabase() == database_.get())
            MediaDatabase::setDefaultMediaDatabase(nullptr);
        database_ = nullptr;
    }
    long long committed(const std::string& sql) const { return committedNumber(database_->databaseURL(), sql); }

    TemporaryFolder folder_ {"vistel-catalogue"};
    Ref<MediaDatabase> database_;
    int terminations_ = 0;

private:
    std::string previousDataHome_;
    PlatformApplication::TerminateHandler previousTerminate_;
};

// Children made in the catalogue alone (nothing on disk), as a listing leaves them and known to
// their parent's cache: a folder valid and listed (nothing is asked for), a picture valid and
// decodable.
inline Ref<FileSystemItemMO> listedFolderItem(const Ref<FileSystemItemMO>& parent, const std::string& name)
{
    Ref<FileSystemItemMO> item = parent->createChildWithName(name, MediaDatabase::EntityFolder, true);
    item->setValid(true);
    item->setRefreshStatus(0);
    parent->updateObjectInCache(item.get());
    return item;
}
inline Ref<FileSystemItemMO> pictureItem(const Ref<FileSystemItemMO>& parent, const std::string& name)
{
    Ref<FileSystemItemMO> item = parent->createChildWithName(name, MediaDatabase::EntityFile, true);
    item->setValid(true);
    item->setDecodable(true);
    parent->updateObjectInCache(item.get());
    return item;
}

// Records the ends path updaters report.
class PathUpdaterEnds : public IMediaDatabaseRefreshPathObserver {
public:
    void notifyFSItemUpdated(FileSystemItemMO* item, const std::string& path, bool status) override
    {
        calls.push_back({Ref<FileSystemItemMO>(item), path, status});
    }
    struct Call {
        Ref<FileSystemItemMO> item;
        std::string path;
        bool status;
    };
    std::vector<Call> calls;
};

} // namespace vistel::test
