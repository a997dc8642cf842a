// User defaults: the registered and stored layers, dotted keys on disk, typed reads, observers,
// damaged files, and saves that survive being killed.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <limits>
#include <random>
#include <sstream>
#include <thread>

#include "Platform/Log.h"
#include "Platform/UserDefaults.h"
#include "TestSupport.h"

using namespace vistel;

namespace {

class UserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vistel-defaults-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
        path_ = folder_ + "/Vistel/com.example.test.plist";
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    static std::string readAll(const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        return bytes.str();
    }
    static void writeAll(const std::string& path, const std::string& bytes)
    {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }

    std::string folder_;
    std::string path_;
};

TEST_F(UserDefaultsTest, StoredValuesHideRegisteredOnesAndOnlyTheyAreSaved)
{
    UserDefaults defaults(path_);
    defaults.registerDefaults(Value::dictionary({{"ThumbnailStyle.Size", 128},
                                                 {"ThumbnailStyle.Visible", true},
                                                 {"Global.Language", "en"},
                                                 {"Plain", 1.5}}));
    EXPECT_EQ(defaults.integerForKey("ThumbnailStyle.Size"), 128);
    EXPECT_TRUE(defaults.boolForKey("ThumbnailStyle.Visible"));
    EXPECT_EQ(defaults.stringForKey("Global.Language"), "en");
    EXPECT_EQ(defaults.objectForKey("ThumbnailStyle"), Value::dictionary({{"Size", 128}, {"Visible", true}}));

    defaults.setInteger(96, "ThumbnailStyle.Size");
    EXPECT_EQ(defaults.integerForKey("ThumbnailStyle.Size"), 96);
    EXPECT_TRUE(defaults.boolForKey("ThumbnailStyle.Visible")); // still the registered one
    EXPECT_EQ(defaults.registeredDefaults().getPath("ThumbnailStyle.Size").toInt64(), 128);

    // Registering again replaces the registered value but never hides a stored one.
    defaults.registerDefaults(Value::dictionary({{"ThumbnailStyle.Size", 64}, {"Plain", 2.5}}));
    EXPECT_EQ(defaults.integerForKey("ThumbnailStyle.Size"), 96);
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("Plain"), 2.5);

    defaults.removeObjectForKey("ThumbnailStyle.Size");
    EXPECT_EQ(defaults.integerForKey("ThumbnailStyle.Size"), 64);

    defaults.setObject("de", "Global.Language");
    ASSERT_TRUE(defaults.synchronize());
    const auto onDisk = Value::fromXmlPropertyList(readAll(path_));
    ASSERT_TRUE(onDisk);
    EXPECT_EQ(*onDisk, Value::dictionary({{"Global", Value::dictionary({{"Language", "de"}})},
                                          {"ThumbnailStyle", Value::dictionary()}}));
}

TEST_F(UserDefaultsTest, DottedKeysAreNestedDictionariesOnDiskAndReadBack)
{
    {
        UserDefaults defaults(path_);
        defaults.setInteger(160, "ThumbnailStyle.Size");
        defaults.setBool(true, "ThumbnailStyle.ShowTitle");
        defaults.setObject(Value::array({"a", "b"}), "BrowserPanel.PlacesList.useritems.CustomListItems");
        defaults.setBool(true, "ENABLE_THUMBNAILS_GENERATION_LOGGING");
        EXPECT_TRUE(defaults.hasUnsavedChanges());
        ASSERT_TRUE(defaults.synchronize());
        EXPECT_FALSE(defaults.hasUnsavedChanges());
    }
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n"
        "<dict>\n"
        "\t<key>BrowserPanel</key>\n\t<dict>\n"
        "\t\t<key>PlacesList</key>\n\t\t<dict>\n"
        "\t\t\t<key>useritems</key>\n\t\t\t<dict>\n"
        "\t\t\t\t<key>CustomListItems</key>\n\t\t\t\t<array>\n"
        "\t\t\t\t\t<string>a</string>\n\t\t\t\t\t<string>b</string>\n"
        "\t\t\t\t</array>\n\t\t\t</dict>\n\t\t</dict>\n\t</dict>\n"
        "\t<key>ENABLE_THUMBNAILS_GENERATION_LOGGING</key>\n\t<true/>\n"
        "\t<key>ThumbnailStyle</key>\n\t<dict>\n"
        "\t\t<key>ShowTitle</key>\n\t\t<true/>\n"
        "\t\t<key>Size</key>\n\t\t<integer>160</integer>\n"
        "\t</dict>\n"
        "</dict>\n"
        "</plist>\n";
    EXPECT_EQ(readAll(path_), expected);
    struct stat info;
    ASSERT_EQ(::stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    UserDefaults reread(path_);
    EXPECT_EQ(reread.integerForKey("ThumbnailStyle.Size"), 160);
    EXPECT_EQ(reread.arrayForKey("BrowserPanel.PlacesList.useritems.CustomListItems"), Value::array({"a", "b"}));
    EXPECT_FALSE(reread.hasUnsavedChanges());
}

TEST_F(UserDefaultsTest, TypedReads)
{
    UserDefaults defaults("");
    struct Case {
        Value stored;
        bool asBool;
        std::int64_t asInteger;
        double asDouble;
        std::string asString;
    };
    const Case cases[] = {
        {Value(), false, 0, 0, ""},
        {Value(true), true, 1, 1, ""},
        {Value(7), true, 7, 7, ""},
        {Value(2.75), true, 2, 2.75, ""},
        {Value(0.0), false, 0, 0, ""},
        {Value("YES"), true, 0, 0, "YES"},
        {Value("true"), true, 0, 0, "true"},
        {Value("no"), false, 0, 0, "no"},
        {Value("42"), true, 42, 42, "42"},
        {Value(" 2.5"), true, 2, 2.5, " 2.5"},
        {Value("word"), false, 0, 0, "word"},
        // Beyond the integer range the reading saturates.
        {Value("5.1e300"), true, std::numeric_limits<std::int64_t>::max(), 5.1e300, "5.1e300"},
        {Value("-7.5e19"), true, std::numeric_limits<std::int64_t>::min(), -7.5e19, "-7.5e19"},
        {Value::array({1}), false, 0, 0, ""},
    };
    for (const auto& c : cases) {
        defaults.setObject(c.stored, "Group.Key");
        SCOPED_TRACE(c.stored.description());
        EXPECT_EQ(defaults.boolForKey("Group.Key"), c.asBool);
        EXPECT_EQ(defaults.integerForKey("Group.Key"), c.asInteger);
        EXPECT_DOUBLE_EQ(defaults.doubleForKey("Group.Key"), c.asDouble);
        EXPECT_EQ(defaults.stringForKey("Group.Key"), c.asString);
    }
    defaults.setObject(Value::data("xy", 2), "Blob");
    EXPECT_EQ(defaults.dataForKey("Blob"), (Value::Bytes {'x', 'y'}));
    EXPECT_TRUE(defaults.dictionaryForKey("Blob").isNull());
    EXPECT_TRUE(defaults.dictionaryForKey("Group").isDictionary());
}

TEST_F(UserDefaultsTest, ObserversAreToldOncePerActualChange)
{
    UserDefaults defaults("");
    std::vector<std::string> heard;
    auto record = [&heard](const std::string& key, const Value& value) {
        heard.push_back(key + "=" + value.description());
    };
    defaults.addObserver("ThumbnailStyle.Size", record);
    const auto groupToken = defaults.addObserver("ThumbnailStyle", record);
    defaults.addObserver("Other", record);

    defaults.registerDefaults(Value::dictionary({{"ThumbnailStyle.Size", 128}}));
    defaults.setInteger(128, "ThumbnailStyle.Size"); // stored now, but reads the same
    defaults.setInteger(128, "ThumbnailStyle.Size"); // no change at all
    defaults.setDouble(128.0, "ThumbnailStyle.Size"); // stored type changes, value the same
    defaults.setInteger(96, "ThumbnailStyle.Size");
    defaults.removeObjectForKey("ThumbnailStyle.Size"); // back to the registered 128
    defaults.removeObjectForKey("ThumbnailStyle.Size"); // nothing left to remove
    defaults.removeObserver(groupToken);
    defaults.setObject(Value::dictionary({{"Size", 64}}), "ThumbnailStyle"); // a change below the key

    const std::vector<std::string> expected = {
        "ThumbnailStyle.Size=128",           "ThumbnailStyle={Size = 128;}",
        "ThumbnailStyle.Size=96",            "ThumbnailStyle={Size = 96;}",
        "ThumbnailStyle.Size=128",           "ThumbnailStyle={Size = 128;}",
        "ThumbnailStyle.Size=64",
    };
    EXPECT_EQ(heard, expected);
}

TEST_F(UserDefaultsTest, ObserversMayUseTheDefaultsAndRemoveThemselves)
{
    UserDefaults defaults("");
    UserDefaults::ObserverToken token = 0;
    int calls = 0;
    token = defaults.addObserver("A", [&](const std::string&, const Value& value) {
        ++calls;
        defaults.setObject(value.toInt64() * 2, "B"); // no deadlock: no lock is held
        defaults.removeObserver(token);
    });
    defaults.setInteger(21, "A");
    defaults.setInteger(22, "A");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(defaults.integerForKey("B"), 42);
}

TEST_F(UserDefaultsTest, ReadsAndWritesFromManyThreads)
{
    UserDefaults defaults(path_);
    defaults.registerDefaults(Value::dictionary({{"Counter.Value", -1}}));
    std::atomic<bool> stop {false};
    std::atomic<int> badReads {0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t)
        readers.emplace_back([&] {
            std::int64_t last = -1;
            while (!stop) {
                const std::int64_t now = defaults.integerForKey("Counter.Value");
                if (now < last)
                    ++badReads;
                last = now;
            }
        });
    const int writes = test::scaled(500, 20000);
    for (int i = 0; i < writes; ++i) {
        defaults.setInteger(i, "Counter.Value");
        if (i % 100 == 0) {
            ASSERT_TRUE(defaults.synchronize());
        }
    }
    stop = true;
    for (auto& reader : readers)
        reader.join();
    EXPECT_EQ(badReads.load(), 0);
    EXPECT_EQ(defaults.integerForKey("Counter.Value"), writes - 1);
}

TEST_F(UserDefaultsTest, ADamagedFileKeepsTheDefaultsAndIsSetAside)
{
    const std::string garbage = "<?xml version=\"1.0\"?><plist><dict><key>Size</key><integer>1";
    writeAll(path_, garbage);
    ScopedLogCapture log;
    UserDefaults defaults(path_);
    EXPECT_TRUE(log.contains("damaged preferences"));
    defaults.registerDefaults(Value::dictionary({{"Size", 128}}));
    EXPECT_EQ(defaults.integerForKey("Size"), 128);

    defaults.setInteger(64, "Size");
    ASSERT_TRUE(defaults.synchronize());
    EXPECT_EQ(readAll(path_ + ".damaged"), garbage);
    EXPECT_EQ(UserDefaults(path_).integerForKey("Size"), 64);
}

TEST_F(UserDefaultsTest, NonDictionaryFilesAndUnreadableFilesCountAsDamaged)
{
    for (const std::string& contents : {std::string("<plist><array/></plist>"), std::string("\x00\xff\x13", 3)}) {
        writeAll(path_, contents);
        ScopedLogCapture log;
        UserDefaults defaults(path_);
        EXPECT_TRUE(log.contains("damaged preferences"));
        EXPECT_EQ(defaults.storedValues(), Value::dictionary());
    }
}

// Hostile files: one too large to read, and ones small enough whose values would take hundreds
// of MiB. Each is set aside unread or unbuilt, and the defaults answer meanwhile.
TEST_F(UserDefaultsTest, HostileFilesAreSetAside)
{
    // Blocks of dictionaries 250 deep, or empty arrays side by side, repeated to `size` bytes.
    auto write = [&](const std::string& unit, std::size_t size) {
        std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
        std::ofstream file(path_, std::ios::binary);
        file << "<plist><dict><key>Blocks</key><array>";
        for (std::size_t written = 0; written < size; written += unit.size())
            file << unit;
        file << "</array></dict></plist>";
    };
    std::string deep;
    for (int i = 0; i < 250; ++i)
        deep += "<dict><key>k</key>";
    deep += "<true/>";
    for (int i = 0; i < 250; ++i)
        deep += "</dict>";
    const std::string wide = "<array/><array/><array/><array/>";
    // Just over the limit in CI; the 50 MB of a hostile file at full size.
    const std::size_t tooLarge = test::scaled(std::size_t(17) << 20, std::size_t(50) << 20);
    struct Case {
        const std::string& unit;
        std::size_t size;
        const char* reason;
    };
    const Case cases[] = {
        {deep, tooLarge, "larger than 16 MiB"},
        {wide, tooLarge, "larger than 16 MiB"},
        {deep, std::size_t(15) << 20, "would take more than"},
        {wide, std::size_t(15) << 20, "would take more than"},
    };
    for (const Case& c : cases) {
        write(c.unit, c.size);
        const auto size = std::filesystem::file_size(path_);
        ScopedLogCapture log;
        UserDefaults defaults(path_);
        EXPECT_TRUE(log.contains(c.reason)) << c.size;
        defaults.registerDefaults(Value::dictionary({{"Size", 128}}));
        EXPECT_EQ(defaults.integerForKey("Size"), 128);
        defaults.setInteger(64, "Size");
        ASSERT_TRUE(defaults.synchronize());
        EXPECT_EQ(std::filesystem::file_size(path_ + ".damaged"), size);
        EXPECT_EQ(UserDefaults(path_).integerForKey("Size"), 64);
        std::filesystem::remove(path_ + ".damaged");
    }
}

TEST_F(UserDefaultsTest, AFifoInPlaceOfTheFileNeitherHangsNorIsKept)
{
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
    ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
    ScopedLogCapture log;
    auto opened = std::async(std::launch::async, [&] { return std::make_unique<UserDefaults>(path_); });
    if (opened.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ::close(::open(path_.c_str(), O_WRONLY | O_NONBLOCK)); // lets the blocked open and read go
        opened.wait();
        FAIL() << "reading the preferences blocked on a FIFO";
    }
    auto defaults = opened.get();
    EXPECT_TRUE(log.contains("not a regular file"));
    EXPECT_EQ(defaults->storedValues(), Value::dictionary());
    defaults->setInteger(3, "Size");
    ASSERT_TRUE(defaults->synchronize());
    EXPECT_TRUE(std::filesystem::is_fifo(path_ + ".damaged"));
    EXPECT_EQ(UserDefaults(path_).integerForKey("Size"), 3);
}

TEST_F(UserDefaultsTest, ValuesWithoutAPropertyListFormAreRefused)
{
    UserDefaults defaults(path_);
    defaults.setObject("kept", "Bad");
    ScopedLogCapture log;
    defaults.setObject(Value::array({1, Value()}), "Bad");
    EXPECT_TRUE(log.contains("non-property-list value for key Bad"));
    EXPECT_EQ(defaults.stringForKey("Bad"), "kept");
    EXPECT_TRUE(defaults.synchronize());
}

TEST_F(UserDefaultsTest, AFailedSaveKeepsTheChangesUnsaved)
{
    writeAll(folder_ + "/blocker", "a file where a folder should be");
    ScopedLogCapture log;
    UserDefaults defaults(folder_ + "/blocker/prefs.plist");
    defaults.setBool(true, "Key");
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_TRUE(defaults.hasUnsavedChanges());
    EXPECT_TRUE(log.contains("UserDefaults::synchronize"));
    defaults.setPath(""); // nothing to save at destruction
}

TEST_F(UserDefaultsTest, SwitchingFilesReloadsAndNotifies)
{
    const std::string other = folder_ + "/other.plist";
    writeAll(other, *Value::dictionary({{"Name", "other"}}).toXmlPropertyList());
    UserDefaults defaults(path_);
    defaults.setObject("first", "Name");
    std::vector<std::string> heard;
    defaults.addObserver("Name", [&](const std::string&, const Value& value) { heard.push_back(value.toString()); });
    defaults.setPath(other);
    EXPECT_EQ(defaults.stringForKey("Name"), "other");
    EXPECT_EQ(heard, std::vector<std::string> {"other"});
    EXPECT_FALSE(defaults.hasUnsavedChanges());
    EXPECT_EQ(UserDefaults(path_).stringForKey("Name"), "first"); // the old file got its change
}

TEST_F(UserDefaultsTest, LeftoversOfKilledSavesAreRemovedByTheNextSaveOnceOld)
{
    const std::string folder = folder_ + "/Vistel/";
    const std::string old = folder + ".vistel-tmp-ab12cd34ef";
    const std::string fresh = folder + ".vistel-tmp-gh56ij78kl";
    const std::string unrelated = folder + ".com.example.other.plist.Ij56Kl";
    for (const auto& file : {old, fresh, unrelated})
        writeAll(file, "<?xml");
    const timespec longAgo[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, old.c_str(), longAgo, 0), 0);
    ASSERT_EQ(::utimensat(AT_FDCWD, unrelated.c_str(), longAgo, 0), 0);

    UserDefaults defaults(path_);
    defaults.setInteger(1, "Saved");
    ASSERT_TRUE(defaults.synchronize());
    EXPECT_FALSE(std::filesystem::exists(old));
    EXPECT_TRUE(std::filesystem::exists(fresh)); // may belong to a save still running
    EXPECT_TRUE(std::filesystem::exists(unrelated));
}

TEST(UserDefaultsFolders, FollowTheXdgVariables)
{
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    const char* savedData = std::getenv("XDG_DATA_HOME");
    const std::string keepConfig = savedConfig ? savedConfig : "";
    const std::string keepData = savedData ? savedData : "";
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";

    ::setenv("XDG_CONFIG_HOME", "/x/config", 1);
    ::setenv("XDG_DATA_HOME", "/x/data", 1);
    EXPECT_EQ(preferencesPath("com.ZovSystems.Vistel"), "/x/config/Vistel/com.ZovSystems.Vistel.plist");
    EXPECT_EQ(applicationSupportFolder(), "/x/data");

    ::setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
    ::unsetenv("XDG_DATA_HOME");
    if (!home.empty()) {
        EXPECT_EQ(configurationFolder(), home + "/.config");
        EXPECT_EQ(applicationSupportFolder(), home + "/.local/share");
    }

    savedConfig ? ::setenv("XDG_CONFIG_HOME", keepConfig.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
    savedData ? ::setenv("XDG_DATA_HOME", keepData.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
}

TEST(UserDefaultsFolders, DownloadsFolderFromUserDirs)
{
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string keepConfig = savedConfig ? savedConfig : "";
    const char* savedHome = std::getenv("HOME");
    const std::string keepHome = savedHome ? savedHome : "";
    vistel::test::TemporaryFolder folder;
    ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
    ::setenv("HOME", "/home/someone", 1);

    EXPECT_EQ(downloadsFolder(), "/home/someone/Downloads"); // no user-dirs.dirs
    const std::pair<std::string, std::string> cases[] = {
        {"XDG_DOWNLOAD_DIR=\"$HOME/T\xc3\xa9l\xc3\xa9" "chargements\"\n", "/home/someone/T\xc3\xa9l\xc3\xa9" "chargements"},
        {"# comment\nXDG_DESKTOP_DIR=\"$HOME/Desk\"\nXDG_DOWNLOAD_DIR=\"/data/dl/\"\n", "/data/dl"},
        {"XDG_DOWNLOAD_DIR=\"$HOME\"\n", "/home/someone/Downloads"},        // switched off
        {"XDG_DOWNLOAD_DIR=\"relative\"\n", "/home/someone/Downloads"},
        {"XDG_DOWNLOAD_DIR=\"$HOMEX/dl\"\n", "/home/someone/Downloads"},
    };
    for (const auto& [text, expected] : cases) {
        std::ofstream(folder.path() + "/user-dirs.dirs") << text;
        EXPECT_EQ(downloadsFolder(), expected) << text;
    }
    savedConfig ? ::setenv("XDG_CONFIG_HOME", keepConfig.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
    savedHome ? ::setenv("HOME", keepHome.c_str(), 1) : ::unsetenv("HOME");
}

// A child saves in a loop and is killed at random moments; the file must always parse and hold
// a value the child had saved completely.
TEST_F(UserDefaultsTest, KillDuringSaveNeverLeavesADamagedFile)
{
    const int kills = test::scaled(25, 400);
    std::mt19937 random(12345);
    std::int64_t lastSeen = -1;
    for (int round = 0; round < kills; ++round) {
        int saved[2];
        ASSERT_EQ(::pipe2(saved, O_CLOEXEC), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(saved[0]);
            UserDefaults defaults(path_);
            std::int64_t counter = defaults.integerForKey("Counter");
            for (bool first = true;; first = false) {
                ++counter;
                defaults.setInteger(counter, "Counter");
                // A payload large enough that a write takes a while, tied to the counter.
                defaults.setObject(std::string(64 * 1024, static_cast<char>('a' + counter % 26)), "Payload");
                if (!defaults.synchronize())
                    ::_exit(3);
                if (first && ::write(saved[1], "s", 1) != 1)
                    ::_exit(4);
            }
        }
        ::close(saved[1]);
        // Every fifth round lets one save complete first, so that a slow machine still has a
        // value to check; the others are killed at any moment, the first save included.
        if (round % 5 == 0) {
            char byte = 0;
            ASSERT_EQ(::read(saved[0], &byte, 1), 1) << "the child ended before its first save";
        }
        ::close(saved[0]);
        ::usleep(std::uniform_int_distribution<int>(1000, 20000)(random));
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped by itself, status " << status;

        if (!std::filesystem::exists(path_))
            continue; // killed before its first save
        std::string error;
        const auto values = Value::fromXmlPropertyList(readAll(path_), &error);
        ASSERT_TRUE(values) << "round " << round << ": " << error;
        const std::int64_t counter = values->get("Counter").toInt64(-1);
        ASSERT_GE(counter, lastSeen);
        ASSERT_EQ(values->get("Payload").asString(), std::string(64 * 1024, static_cast<char>('a' + counter % 26)));
        lastSeen = counter;
    }
    EXPECT_GT(lastSeen, 0) << "no save ever completed";
}

} // namespace
