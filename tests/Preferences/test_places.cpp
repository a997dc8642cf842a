// Places: the import of the desktop's bookmarks on first use (temporary home and
// configuration folders), the stored form (golden property list), and list edits.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"
#include "Platform/UserDefaults.h"
#include "Preferences/Preferences.h"
#include "Preferences/ZovPlacesReader.h"
#include "TestSupport.h"

using namespace vistel;

namespace {

// A home with Pictures and Desktop folders, its configuration folder, and fresh preferences.
class PlacesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        oldHome_ = std::getenv("HOME") ? std::getenv("HOME") : "";
        ::setenv("HOME", home_.path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home_ / ".config").c_str(), 1);
        for (const char* folder : {"Pictures", "Desktop", "Documents", ".config/gtk-3.0"})
            std::filesystem::create_directories(home_ / folder);
    }
    void TearDown() override { ::setenv("HOME", oldHome_.c_str(), 1); }

    void writeBookmarks(const std::string& text)
    {
        std::ofstream(home_ / ".config/gtk-3.0/bookmarks") << text;
    }
    std::vector<std::pair<std::string, std::string>> list(const ZovPlacesReader& reader)
    {
        std::vector<std::pair<std::string, std::string>> places;
        for (std::size_t i = 0; i < reader.count(); ++i)
            places.emplace_back(reader.placeAtIndex(i)->placeName(), reader.placeAtIndex(i)->placePath());
        return places;
    }
    // The stored list as XML, the home folder written as $HOME.
    std::string storedText()
    {
        std::string xml = preferences_.valueForKey("BrowserPanel.PlacesList").toXmlPropertyList().value_or("");
        for (std::size_t at; (at = xml.find(home_.path())) != std::string::npos;)
            xml.replace(at, home_.path().size(), "$HOME");
        return xml;
    }

    test::TemporaryFolder home_;
    std::string oldHome_;
    UserDefaults defaults_ {""};
    Preferences preferences_ {defaults_};
};

std::string golden(const std::string& name)
{
    std::ifstream in(std::string(VISTEL_TEST_DATA_DIR) + "/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST_F(PlacesTest, WithoutBookmarksTheListIsPicturesDesktopHome)
{
    ScopedLogCapture log;
    Ref<ZovPlacesReader> reader = ZovPlacesReader::load(preferences_);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(log.contains("ZovPlacesReader::placesReader can't load data from XML file " +
                             home_.path() + "/.config/gtk-3.0/bookmarks"));
    auto places = list(*reader);
    ASSERT_EQ(places.size(), 3u);
    EXPECT_EQ(places[0], std::make_pair(std::string("Pictures"), home_ / "Pictures"));
    EXPECT_EQ(places[1], std::make_pair(std::string("Desktop"), home_ / "Desktop"));
    EXPECT_EQ(places[2].second, home_.path());
    EXPECT_FALSE(places[2].first.empty()); // the login name
}

TEST_F(PlacesTest, AnImportKeepsOnlyTheUsersFoldersWithTheirLabels)
{
    writeBookmarks("file://" + home_.path() + "/Documents\n"
                   "sftp://example.org/home/me Server\n"
                   "file://" + home_.path() + "/Pictures Fotos\n"
                   "file:///no%20such/place Elsewhere\n");
    Ref<ZovPlacesReader> reader = ZovPlacesReader::load(preferences_);
    ASSERT_TRUE(reader);
    auto places = list(*reader);
    ASSERT_EQ(places.size(), 3u);
    EXPECT_EQ(places[0], std::make_pair(std::string("Fotos"), home_ / "Pictures"));
    EXPECT_EQ(places[1], std::make_pair(std::string("Desktop"), home_ / "Desktop"));
    EXPECT_EQ(places[2].second, home_.path());

    std::string expected = golden("places-imported.plist");
    const std::string name = places[2].first;
    for (std::size_t at; (at = expected.find("$LOGIN")) != std::string::npos;)
        expected.replace(at, 6, name);
    EXPECT_EQ(storedText(), expected);

    // A stored list is read back as it is, without another import.
    writeBookmarks("");
    Ref<ZovPlacesReader> again = ZovPlacesReader::load(preferences_);
    EXPECT_EQ(list(*again), places);
}

TEST_F(PlacesTest, ABookmarksFolderInPlaceOfTheFileImportsNothing)
{
    std::filesystem::remove(home_ / ".config/gtk-3.0/bookmarks");
    std::filesystem::create_directory(home_ / ".config/gtk-3.0/bookmarks");
    ScopedLogCapture log;
    Ref<ZovPlacesReader> reader = ZovPlacesReader::load(preferences_);
    ASSERT_TRUE(reader);
    EXPECT_TRUE(log.contains("can't load data from XML file"));
    EXPECT_EQ(reader->count(), 3u);
}

TEST_F(PlacesTest, BookmarkLinesAreDecoded)
{
    const Value places = ZovPlacesReader::placesFromBookmarks("file:///home/me/My%20Pictures\n"
                                                              "file://localhost/srv/a%2Fb Shared photos\r\n"
                                                              "file://otherhost/x X\n"
                                                              "file:///bad%00nul N\n"
                                                              "smb://nas/share NAS\n"
                                                              "\n");
    ASSERT_EQ(places.size(), 2u);
    EXPECT_EQ(places.at(0).get("Name").toString(), "My Pictures");
    EXPECT_EQ(places.at(0).get("PlacePath").toString(), "/home/me/My Pictures");
    EXPECT_EQ(places.at(1).get("Name").toString(), "Shared photos");
    EXPECT_EQ(places.at(1).get("PlacePath").toString(), "/srv/a/b");
}

TEST_F(PlacesTest, EditsMoveRenameAndRemoveWithOneNotificationEach)
{
    Ref<ZovPlacesReader> reader = ZovPlacesReader::load(preferences_);
    ASSERT_TRUE(reader);
    std::vector<bool> posts; // with an object or not
    NotificationCenter::defaultCenter().addObserver(
        this, [&](const Notification& n) { posts.push_back(n.object.get() != nullptr); },
        kPlacesReaderPlaceListChangedNotification);

    // The place at index 0 moved to index 2 lands at index 1.
    ZovPlaceInfo* pictures = reader->placeAtIndex(0);
    EXPECT_TRUE(reader->insertPlace(pictures->placePath(), "ignored", 2));
    EXPECT_EQ(reader->placeIndex(pictures), 1u);
    EXPECT_FALSE(reader->insertPlace(pictures->placePath(), "again", 1)); // same index: nothing
    EXPECT_FALSE(reader->insertPlace(std::nullopt, "no path", 0));
    EXPECT_TRUE(reader->insertPlace(home_ / "Documents", "Docs", 99));
    EXPECT_EQ(reader->placeAtIndex(3)->placeName(), "Docs");

    Ref<ZovPlaceInfo> stranger = ZovPlaceInfo::create("Elsewhere", "/elsewhere");
    EXPECT_FALSE(reader->renamePlace(stranger.get(), "New"));
    EXPECT_TRUE(reader->renamePlace(reader->placeAtIndex(3), "Documents"));
    EXPECT_TRUE(reader->removePlace(reader->placeAtIndex(3)));
    EXPECT_FALSE(reader->removePlace(stranger.get()));
    EXPECT_EQ(reader->count(), 3u);
    EXPECT_EQ(posts, (std::vector<bool> {true, true, false, true}));
    EXPECT_EQ(reader->placeByPath(home_ / "Pictures"), pictures);
    EXPECT_EQ(reader->placeByPath(std::nullopt), nullptr);
    EXPECT_EQ(reader->placeIndex(nullptr), ZovPlacesReader::NSNotFound);
    NotificationCenter::defaultCenter().removeObserver(this, {}, nullptr);
}
