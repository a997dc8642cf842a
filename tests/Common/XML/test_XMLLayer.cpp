// The XML layer: child lookup, enumerators in document order, reading refusals and saving.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "../FileSystem/FileSystemFixtures.h"
#include "Common/XML/XMLFrameManager.h"
#include "Platform/Log.h"

using namespace vistel;
using vistel::test::readFile;
using vistel::test::writeFile;

namespace {

class XMLLayerTest : public ::testing::Test {
protected:
    vistel::test::ScratchFolder scratch;
    const std::string folder = scratch.path();

    // A manager holding `text`, read from a file.
    void load(XMLFrameManager& manager, const std::string& text)
    {
        writeFile(folder + "/doc.xml", text);
        ASSERT_EQ(manager.ReadXMLFile(folder + "/doc.xml"), XMLResult::Done);
    }
};

const char* deviceList = R"(<?xml version="1.0" encoding="UTF-8"?>
<device-list>
  <defaults><Model>first</Model></defaults>
  <device-profile name="a">
    <size>7</size>
    <comment-me/>
    <size>8<!-- note --></size>
  </device-profile>
  <defaults><Model>second</Model></defaults>
  <group><size>10.4</size></group>
  text between
  <size>15</size>
</device-list>
)";

} // namespace

TEST_F(XMLLayerTest, ChildLookupIgnoresCaseAndLooksOneLevelDeep)
{
    XMLFrameManager manager;
    load(manager, R"(<root><item><Name>first</Name><NAME>second</NAME><empty/>
                     <outer><inner>deep</inner></outer><mixed>a<b>b</b>c</mixed></item></root>)");
    const pugi::xml_node item = manager.getXMLDocument()->document_element().child("item");
    const Ref<XMLNode> node = XMLNode::create(manager.getXMLDocument(), item);

    struct Case {
        const char* name;
        std::optional<std::string> text;
    } cases[] = {
        {"name", "first"},   // letter case ignored, first of two
        {"EMPTY", ""},       // an element without text
        {"inner", std::nullopt}, // grandchildren are not searched
        {"mixed", "abc"},    // all text inside, in order
        {"missing", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(node->getParameterByName(c.name), c.text) << c.name;

    // A wrapper without a node, or around a text node, answers nil.
    EXPECT_EQ(XMLNode::create(nullptr, item)->getParameterByName("name"), std::nullopt);
    const pugi::xml_node text = item.child("Name").first_child();
    EXPECT_EQ(XMLNode::create(manager.getXMLDocument(), text)->getParameterByName("name"), std::nullopt);
}

TEST_F(XMLLayerTest, EnumeratorYieldsTheHitsInDocumentOrder)
{
    XMLFrameManager manager;
    load(manager, deviceList);

    Ref<XMLNodeEnumerator> sizes = manager.getXMLNodeEnumerator(XMLNodeType::DeviceResolution);
    ASSERT_TRUE(sizes);
    std::vector<std::string> texts;
    while (Ref<XMLNode> node = sizes->nextObject()) {
        EXPECT_EQ(std::string(node->getXMLNode().name()), "size");
        texts.push_back(xmlStringValue(node->getXMLNode()));
        EXPECT_EQ(sizes->getCurrentXMLNode().get(), node.get());
    }
    EXPECT_EQ(texts, (std::vector<std::string> {"7", "8", "10.4", "15"}));
    // The end stays the end, and the last hit stays current.
    EXPECT_FALSE(sizes->nextObject());
    EXPECT_FALSE(sizes->nextObject());
    EXPECT_EQ(xmlStringValue(sizes->getCurrentXMLNode()->getXMLNode()), "15");

    std::optional<std::vector<Ref<XMLNode>>> all = sizes->allObjects();
    ASSERT_TRUE(all);
    EXPECT_EQ(all->size(), 4u);

    // The defaults entry is enumerated once, even when there are two.
    Ref<XMLNodeEnumerator> defaults = manager.getXMLNodeEnumerator(XMLNodeType::Defaults);
    Ref<XMLNode> first = defaults->nextObject();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->getParameterByName("model"), "first");
    EXPECT_FALSE(defaults->nextObject());

    // Profiles of both profile node types.
    for (int type : {XMLNodeType::DeviceProfile, XMLNodeType::DeviceType}) {
        Ref<XMLNodeEnumerator> profiles = manager.getXMLNodeEnumerator(type);
        ASSERT_TRUE(profiles->nextObject());
        EXPECT_FALSE(profiles->nextObject());
    }
}

TEST_F(XMLLayerTest, UnknownNodeTypeAnswersNilAndSaysSo)
{
    XMLFrameManager manager;
    load(manager, deviceList);
    Ref<XMLNodeEnumerator> unknown = manager.getXMLNodeEnumerator(7);
    ScopedLogCapture log;
    EXPECT_FALSE(unknown->nextObject());
    EXPECT_FALSE(unknown->allObjects());
    EXPECT_EQ(log.lines().size(), 2u);
    EXPECT_TRUE(log.contains("XMLNodeEnumerator::getObjectsArray Unknown node type"));
    // A wrapper steps to its next sibling, whatever it is, but never for unknown types.
    const Ref<XMLNode> size = XMLNode::create(manager.getXMLDocument(),
                                              manager.getXMLDocument()->document_element().child("device-profile").child("size"));
    Ref<XMLNode> next = size->getNextXMLNode(XMLNodeType::DeviceResolution);
    ASSERT_TRUE(next);
    EXPECT_EQ(std::string(next->getXMLNode().name()), "comment-me");
    EXPECT_FALSE(size->getNextXMLNode(7));
    EXPECT_FALSE(size->getNextXMLNode(XMLNodeType::Defaults));
    // Without a document there is no enumerator.
    EXPECT_FALSE(XMLFrameManager().getXMLNodeEnumerator(XMLNodeType::DeviceResolution));
}

TEST_F(XMLLayerTest, ReadingRefusesWhatIsNotASmallXMLFile)
{
    XMLFrameManager manager;
    load(manager, "<root/>");

    {
        ScopedLogCapture log;
        EXPECT_EQ(manager.ReadXMLFile(""), XMLResult::BadPath);
        EXPECT_TRUE(log.contains("XMLFrameManager::ReadXMLFile file path is empty"));
        EXPECT_TRUE(manager.getXMLDocument()) << "a path failure keeps the document";
    }

    writeFile(folder + "/text.xml", "this is not <xml");
    writeFile(folder + "/unbalanced.xml", "<a><b></a>");
    writeFile(folder + "/empty.xml", "");
    writeFile(folder + "/big.xml", "<a>" + std::string(XMLFrameManager::MaximumFileSize, 'x') + "</a>");
    ASSERT_EQ(::mkfifo((folder + "/fifo.xml").c_str(), 0600), 0);
    for (const char* name : {"text.xml", "unbalanced.xml", "empty.xml", "big.xml", "fifo.xml", "missing.xml"}) {
        EXPECT_EQ(manager.ReadXMLFile(folder + "/" + name), XMLResult::NotParseable) << name;
        EXPECT_FALSE(manager.getXMLDocument()) << name;
    }
}

TEST_F(XMLLayerTest, DocumentTypesAndEntitiesAreNeverProcessed)
{
    writeFile(folder + "/secret", "secret text");
    XMLFrameManager manager;
    load(manager, "<?xml version=\"1.0\"?>\n"
                  "<!DOCTYPE root [\n"
                  "  <!ENTITY file SYSTEM \"file://" + folder + "/secret\">\n"
                  "  <!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n"
                  "]>\n"
                  "<root><item><from>&file;</from><bomb>&b;&b;&b;</bomb><amp>&amp;&#65;</amp></item></root>");
    const Ref<XMLNode> item = XMLNode::create(manager.getXMLDocument(),
                                              manager.getXMLDocument()->document_element().child("item"));
    EXPECT_EQ(item->getParameterByName("from"), "&file;");
    EXPECT_EQ(item->getParameterByName("bomb"), "&b;&b;&b;");
    EXPECT_EQ(item->getParameterByName("amp"), "&A");
}

TEST_F(XMLLayerTest, SavingWritesTheDocumentOrAnswersNotSaved)
{
    XMLFrameManager empty;
    EXPECT_EQ(empty.saveToFile(folder + "/none.xml"), XMLResult::NotSaved);
    EXPECT_NE(::access((folder + "/none.xml").c_str(), F_OK), 0);

    XMLFrameManager manager;
    load(manager, "<root><a>1</a></root>");
    EXPECT_EQ(manager.saveToFile(folder + "/copy.xml"), XMLResult::Done);
    XMLFrameManager reread;
    ASSERT_EQ(reread.ReadXMLFile(folder + "/copy.xml"), XMLResult::Done);
    EXPECT_EQ(XMLNode::create(reread.getXMLDocument(), reread.getXMLDocument()->document_element())->getParameterByName("a"), "1");

    ScopedLogCapture log;
    EXPECT_EQ(manager.saveToFile(folder + "/no-such-folder/copy.xml"), XMLResult::NotSaved);
    EXPECT_TRUE(log.contains("XMLFrameManager::saveToFile can't save document to file"));
}
