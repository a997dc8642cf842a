// The picture-frame device list: matching a diagonal to resolutions, the diagonals and their
// resolutions, the shipped list, and the local copy in the data folder.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Frames/XMLDocumentDL.h"
#include "Platform/Bundle.h"
#include "Platform/Log.h"
#include "TestSupport.h"

namespace vistel::test {
namespace {

std::string fixturePath(const std::string& name)
{
    return std::string(VISTEL_TEST_DATA_DIR) + "/" + name;
}

std::string sizesText(const std::vector<ItemSize>& sizes)
{
    std::string text;
    for (const ItemSize& size : sizes)
        text += (text.empty() ? "" : " ") + std::to_string(int(size.width)) + "x" + std::to_string(int(size.height));
    return text;
}

std::string fileText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class FixtureList : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(list_.ReadXMLFile(fixturePath("fixture-list.xml")), XMLResult::Done); }
    XMLDocumentDL list_;
};

// Entries A (7…7.9, 800×480), B (10…10.9, 1024×768), C (10…10.9, 800×600), a copy of B, and D
// (12, no maximum, 1280×800).
TEST_F(FixtureList, MatchesDiagonalsToResolutions)
{
    const struct {
        const char* diagonal;
        const char* resolutions;
    } cases[] = {
        {"10.4", "1024x768 800x600"}, // both of the range, larger first; B's copy adds nothing
        {"7", "800x480"},             // bounds included
        {"7.9", "800x480"},
        {"9", ""},                    // a gap between ranges
        {"15", "1024x768 800x600"},   // above every range: the largest maximum's; D takes no part
        {"12", "1024x768 800x600"},
        {"5", "800x480"},             // below every range: the smallest minimum's
        {"", "800x480"},
        {"abc", "800x480"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sizesText(list_.matchResolutionsForSize(c.diagonal)), c.resolutions) << c.diagonal;
}

TEST_F(FixtureList, ListsDiagonalsAndTheirResolutions)
{
    EXPECT_EQ(list_.getDeviceSizesArray(), (std::vector<std::string> {"7", "10", "12"}));
    // Keys are texts: "10.0" is not "10". Child names ignore case, so B's copy counts.
    EXPECT_EQ(sizesText(list_.getResolutionsForSize("10")), "1024x768 800x600 1024x768");
    EXPECT_EQ(sizesText(list_.getResolutionsForSize("10.0")), "");
    EXPECT_EQ(sizesText(list_.getResolutionsForSize("12")), "1280x800");
}

TEST_F(FixtureList, DefaultsAndDeviceTypes)
{
    ScopedLogCapture log;
    EXPECT_EQ(list_.defaultFrameSize(), std::nullopt);
    EXPECT_FALSE(log.contains("Can't load defaults from XML"));
    EXPECT_EQ(XMLDocumentDL().defaultFrameSize(), std::nullopt);
    EXPECT_TRUE(log.contains("Can't load defaults from XML"));

    // Device id first, then vendor id.
    EXPECT_TRUE(list_.isDeviceDPF("d1", "v1"));
    EXPECT_FALSE(list_.isDeviceDPF("v1", "d1"));
    EXPECT_TRUE(XMLDocumentDL().isDeviceDPF("x", "y"));
    Ref<XMLNodeEnumerator> profiles = list_.getDeviceProfileEnumerator();
    ASSERT_TRUE(profiles);
    Ref<XMLNode> profile = profiles->nextObject();
    auto* xga = dynamic_cast<XMLDeviceProfile*>(profile.get());
    ASSERT_TRUE(xga);
    EXPECT_EQ(xga->getDeviceMode(), (ItemSize {1024, 768}));
    Ref<XMLNode> type = list_.getDeviceTypeEnumerator()->nextObject();
    auto* frameType = dynamic_cast<XMLDeviceType*>(type.get());
    ASSERT_TRUE(frameType);
    EXPECT_FALSE(frameType->isProfileSupported(xga)); // its profile list names SVGA only
    EXPECT_FALSE(frameType->isProfileSupported(nullptr));
}

// The list that ships: every range sound, every diagonal from the smallest frame up finds a
// resolution (no gaps), every resolution one a frame can take, the default among the sizes.
TEST(ShippedList, IsSound)
{
    XMLDocumentDL list;
    ASSERT_EQ(list.ReadXMLFromBundle(), XMLResult::Done) << XMLDocumentDL::getXMLBundlePath();
    const auto sizes = list.getDeviceSizesArray();
    ASSERT_TRUE(sizes && !sizes->empty());
    double smallest = 1e9, largest = 0;
    Ref<XMLNodeEnumerator> entries = list.getDeviceResolutionEnumerator();
    while (Ref<XMLNode> node = entries->nextObject()) {
        auto* entry = dynamic_cast<XMLDeviceResolution*>(node.get());
        ASSERT_TRUE(entry);
        const double minimum = std::atof(entry->minDeviceSize().value_or("").c_str());
        const double maximum = std::atof(entry->maxDeviceSize().value_or("").c_str());
        EXPECT_GT(minimum, 0);
        EXPECT_LE(minimum, maximum);
        smallest = std::min(smallest, minimum);
        largest = std::max(largest, maximum);
        for (double side : {entry->resolutionWidth().value_or(0), entry->resolutionHeight().value_or(0)}) {
            EXPECT_GE(side, 16);
            EXPECT_LE(side, 9999);
        }
    }
    for (const std::string& size : *sizes) {
        EXPECT_FALSE(list.matchResolutionsForSize(size).empty()) << size;
        EXPECT_FALSE(list.getResolutionsForSize(size).empty()) << size;
    }
    // What the set-up dialog lets the user type: whole and half inches.
    for (double diagonal = smallest; diagonal <= largest; diagonal += 0.5) {
        const std::string text = std::to_string(diagonal);
        EXPECT_FALSE(list.matchResolutionsForSize(text).empty()) << text;
    }
    ASSERT_TRUE(list.defaultFrameSize());
    EXPECT_NE(std::find(sizes->begin(), sizes->end(), *list.defaultFrameSize()), sizes->end());
}

// The copy in the data folder: made once, read from then on (an edited copy wins), and a
// damaged copy falls back to the shipped list and stays as it is.
TEST(LocalCopy, IsMadeOnceReadAndNeverReplaced)
{
    TemporaryFolder data("vistel-frames-data");
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string previous = saved ? saved : "";
    ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    const std::string copy = data.path() + "/Zov Systems/Vistel/VistelDPF.xml";
    ASSERT_EQ(XMLDocumentDL::localCopyPath(), copy);

    XMLDocumentDL::resetDefaultDocumentDL();
    XMLDocumentDL* first = XMLDocumentDL::defaultDocumentDL();
    ASSERT_TRUE(first);
    EXPECT_EQ(fileText(copy), fileText(XMLDocumentDL::getXMLBundlePath()));
    for (const std::string folder : {data.path() + "/Zov Systems", data.path() + "/Zov Systems/Vistel"}) {
        struct stat st {};
        ASSERT_EQ(::stat(folder.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0755u) << folder;
    }
    EXPECT_EQ(XMLDocumentDL::defaultDocumentDL(), first); // once per run

    // The next run reads the user's edited copy.
    {
        std::ofstream edited(copy, std::ios::trunc);
        edited << "<l><size><minframesize>5</minframesize><maxframesize>6</maxframesize>"
                  "<width>320</width><height>240</height></size></l>";
    }
    XMLDocumentDL::resetDefaultDocumentDL();
    ASSERT_TRUE(XMLDocumentDL::defaultDocumentDL());
    EXPECT_EQ(XMLDocumentDL::defaultDocumentDL()->getDeviceSizesArray(), (std::vector<std::string> {"5"}));

    // A damaged copy: the shipped list is read, and the copy stays.
    {
        std::ofstream damaged(copy, std::ios::trunc);
        damaged << "<l><size>";
    }
    XMLDocumentDL::resetDefaultDocumentDL();
    ASSERT_TRUE(XMLDocumentDL::defaultDocumentDL());
    EXPECT_EQ(XMLDocumentDL::defaultDocumentDL()->defaultFrameSize(), "10.1");
    EXPECT_EQ(fileText(copy), "<l><size>");

    // No list anywhere: no shared list for the rest of the run.
    std::filesystem::remove(copy);
    ::mkdir(copy.c_str(), 0755); // cannot be made nor read
    Bundle::setResourcePathOverride(data.path() + "/nothing");
    XMLDocumentDL::resetDefaultDocumentDL();
    EXPECT_FALSE(XMLDocumentDL::defaultDocumentDL());
    Bundle::setResourcePathOverride("");
    EXPECT_FALSE(XMLDocumentDL::defaultDocumentDL()); // not tried again
    XMLDocumentDL::resetDefaultDocumentDL();

    if (saved)
        ::setenv("XDG_DATA_HOME", previous.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}

} // namespace
} // namespace vistel::test
