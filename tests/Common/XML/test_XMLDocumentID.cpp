// The picture-frame identity file: its exact bytes, reading it back, damaged and hostile files,
// saves that cannot be written.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "../FileSystem/FileSystemFixtures.h"
#include "Common/XML/XMLDocumentID.h"

using namespace vistel;
using vistel::test::readFile;
using vistel::test::writeFile;

namespace {

class XMLDocumentIDTest : public ::testing::Test {
protected:
    vistel::test::ScratchFolder scratch{0777};
    const std::string folder = scratch.path();
};

bool exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

} // namespace

TEST_F(XMLDocumentIDTest, SavedFileMatchesTheGoldenFileAndReadsBack)
{
    auto document = XMLDocumentID::createWithParameters("ID1", "Frame", 800, 600, "7");
    ASSERT_TRUE(document);
    ASSERT_EQ(document->saveToFile(folder), XMLResult::Done);
    const std::string path = folder + "/.VistelDPF-ID.xml";
    EXPECT_EQ(readFile(path), readFile(VISTEL_XML_TEST_DATA "/identity-golden.xml"));

    auto read = XMLDocumentID::createWithXMLFile(folder);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->getDeviceUUID(), "ID1");
    EXPECT_EQ(read->getDisplayname(), "Frame");
    EXPECT_EQ(read->getFrameSize(), "7");
    EXPECT_EQ(read->getResolution().width, 800.0f);
    EXPECT_EQ(read->getResolution().height, 600.0f);
}

TEST_F(XMLDocumentIDTest, MissingParametersTakeTheirDefaults)
{
    EXPECT_FALSE(XMLDocumentID::createWithParameters(std::nullopt, "Frame", 1, 1, "7"));

    auto document = XMLDocumentID::createWithParameters("ID2", std::nullopt, std::nullopt, std::nullopt, std::nullopt);
    ASSERT_TRUE(document);
    ASSERT_EQ(document->saveToFile(folder, "other.xml"), XMLResult::Done);
    EXPECT_FALSE(exists(folder + "/.VistelDPF-ID.xml"));
    auto read = XMLDocumentID::createWithXMLFile(folder, "other.xml");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->getDisplayname(), "Empty name");
    EXPECT_EQ(read->getFrameSize(), "");
    EXPECT_EQ(read->getKeyValueByName("width"), "0");
    EXPECT_EQ(read->getResolution().width, 0.0f);
    EXPECT_EQ(read->getResolution().height, 0.0f);
}

TEST_F(XMLDocumentIDTest, ReadingLooksOnlyForTheFiveNamesWithTheirCase)
{
    writeFile(folder + "/.VistelDPF-ID.xml",
              "<?xml version=\"1.0\"?>\n<other><extra>x</extra><nested><vistel-id>N1</vistel-id></nested>"
              "<displayname>Kitchen</displayname><Width>1024</Width><height> 768px</height></other>");
    auto read = XMLDocumentID::createWithXMLFile(folder);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->getDeviceUUID(), "N1");
    EXPECT_EQ(read->getDisplayname(), "Kitchen");
    EXPECT_EQ(read->getFrameSize(), std::nullopt);
    EXPECT_EQ(read->getResolution().width, 0.0f) << "\"Width\" is not \"width\"";
    EXPECT_EQ(read->getResolution().height, 768.0f);
    // A name that is not an element name is only data.
    EXPECT_EQ(read->getKeyValueByName("x') or ('1'='1"), std::nullopt);
}

TEST_F(XMLDocumentIDTest, HostileAndDamagedFiles)
{
    writeFile(folder + "/secret", "secret text");
    writeFile(folder + "/.VistelDPF-ID.xml",
              "<?xml version=\"1.0\"?>\n<!DOCTYPE vistel-dpf-id [<!ENTITY leak SYSTEM \"file://" + folder
                  + "/secret\">]>\n<vistel-dpf-id><vistel-id>X</vistel-id><displayname>&leak;</displayname>"
                    "</vistel-dpf-id>");
    auto read = XMLDocumentID::createWithXMLFile(folder);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->getDisplayname(), "&leak;");

    writeFile(folder + "/damaged.xml", "<vistel-dpf-id><vistel-id>X</vistel-id><displayname>");
    EXPECT_FALSE(XMLDocumentID::createWithXMLFile(folder, "damaged.xml"));
    EXPECT_TRUE(exists(folder + "/damaged.xml")) << "a damaged file stays";
    EXPECT_FALSE(XMLDocumentID::createWithXMLFile(folder + "/no-such-volume"));
}

TEST_F(XMLDocumentIDTest, RemovingDeletesTheFileAndAlwaysAnswersDone)
{
    auto document = XMLDocumentID::createWithParameters("ID3", "Frame", 1, 1, "7");
    ASSERT_EQ(document->saveToFile(folder), XMLResult::Done);
    EXPECT_EQ(XMLDocumentID::removeFile(folder), XMLResult::Done);
    EXPECT_FALSE(exists(folder + "/.VistelDPF-ID.xml"));
    EXPECT_EQ(XMLDocumentID::removeFile(folder), XMLResult::Done);
}

TEST_F(XMLDocumentIDTest, SaveThatCannotWriteAnswersNotSavedAndLeavesNoFile)
{
    auto document = XMLDocumentID::createWithParameters("ID4", "Frame", 1, 1, "7");
    EXPECT_EQ(document->saveToFile(folder + "/no-such-volume"), XMLResult::NotSaved);

    std::string why;
    if (!vistel::test::canRunAsNobody(why))
        VISTEL_SKIP_UNAVAILABLE() << why;
    const std::string readOnly = folder + "/read-only";
    ASSERT_EQ(::mkdir(readOnly.c_str(), 0555), 0);
    std::string log;
    EXPECT_TRUE(vistel::test::runAsNobody("*DISABLED_SaveIntoReadOnlyFolder*", "VISTEL_READ_ONLY_FOLDER", readOnly,
                                          folder + "/child.log", log))
        << log;
    EXPECT_EQ(std::filesystem::directory_iterator(readOnly), std::filesystem::directory_iterator());
}

TEST(XMLDocumentIDChild, DISABLED_SaveIntoReadOnlyFolder)
{
    const char* folder = std::getenv("VISTEL_READ_ONLY_FOLDER");
    ASSERT_TRUE(folder);
    auto document = XMLDocumentID::createWithParameters("ID5", "Frame", 1, 1, "7");
    EXPECT_EQ(document->saveToFile(folder), XMLResult::NotSaved);
}
