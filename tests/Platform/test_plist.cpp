// XML property lists: the exact bytes written, byte-stable round trips, the ordinary variants
// other writers produce, and refusal of damaged input.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "Platform/Value.h"

using namespace vistel;

namespace {

const std::string Header = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                           "<plist version=\"1.0\">\n";

std::string readFixture(const std::string& name)
{
    std::ifstream file(std::string(VISTEL_TEST_DATA_DIR) + "/plist/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::string wrap(const std::string& body)
{
    return Header + body + "</plist>\n";
}

Value::Bytes counting(std::size_t count)
{
    Value::Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

Value fixtureValue()
{
    Value prefs;
    prefs.setPath("BrowserPanel.PlacesList.useritems.CustomListItems",
                  Value::array({Value::dictionary({{"Name", "Fotos & Ferien <2026>"},
                                                   {"PlacePath", "/home/anna/Bilder/\xC3\x9C" "bersee"}})}));
    prefs.set("Camera", Value::dictionary());
    prefs.set("Empty", Value::array());
    prefs.set("ENABLE_THUMBNAILS_GENERATION_LOGGING", false);
    prefs.set("Icon", Value(counting(73)));
    prefs.set("LastImport", Date {1796857744});
    prefs.setPath("ThumbnailStyle.Ratio", 0.75);
    prefs.setPath("ThumbnailStyle.Size", 128);
    prefs.setPath("ThumbnailStyle.Visible", true);
    return prefs;
}

TEST(XmlPropertyList, WritesTheExactPlatformLayout)
{
    const auto xml = fixtureValue().toXmlPropertyList();
    ASSERT_TRUE(xml);
    EXPECT_EQ(*xml, readFixture("preferences.plist"));
}

TEST(XmlPropertyList, ReadsTheFixtureBack)
{
    std::string error;
    const auto value = Value::fromXmlPropertyList(readFixture("preferences.plist"), &error);
    ASSERT_TRUE(value) << error;
    EXPECT_EQ(*value, fixtureValue());
    EXPECT_TRUE(value->getPath("ThumbnailStyle.Ratio").isReal());
    EXPECT_TRUE(value->getPath("ThumbnailStyle.Size").isInteger());
    EXPECT_TRUE(value->getPath("ThumbnailStyle.Visible").isBoolean());
}

TEST(XmlPropertyList, SmallValuesAreWrittenAsExpected)
{
    struct Case {
        Value value;
        std::string body;
    };
    const Case cases[] = {
        {Value(""), "<string></string>\n"},
        {Value("a\tb\nc\rd\x01"), "<string>a\tb\nc&#13;d&#1;</string>\n"},
        {Value(-5), "<integer>-5</integer>\n"},
        {Value(18446744073709551615ull), "<integer>18446744073709551615</integer>\n"},
        {Value(0.1), "<real>0.1</real>\n"},
        {Value(2.0), "<real>2</real>\n"},
        {Value(1e300), "<real>1e+300</real>\n"},
        {Value(-std::numeric_limits<double>::infinity()), "<real>-infinity</real>\n"},
        {Value(std::numeric_limits<double>::quiet_NaN()), "<real>nan</real>\n"},
        {Value::data("", 0), "<data>\n</data>\n"},
        {Value::data("ab", 2), "<data>\nYWI=\n</data>\n"},
        {Value::array({Value::array({true})}), "<array>\n\t<array>\n\t\t<true/>\n\t</array>\n</array>\n"},
    };
    for (const auto& c : cases) {
        const auto xml = c.value.toXmlPropertyList();
        ASSERT_TRUE(xml) << c.body;
        EXPECT_EQ(*xml, wrap(c.body));
    }
}

TEST(XmlPropertyList, RoundTripIsByteIdentical)
{
    Value deep = "leaf";
    for (int i = 0; i < 40; ++i)
        deep = Value::dictionary({{"level" + std::to_string(i), Value::array({deep, i})}});
    const Value cases[] = {
        fixtureValue(),
        Value("Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x93\xB7 & <tags> ]]> \"quoted\" 'single'"),
        Value("control \x02\x1f and \r\n line ends"),
        Value(std::string("nul\0inside", 10)),
        Value(std::numeric_limits<long long>::min()),
        Value(std::numeric_limits<unsigned long long>::max()),
        Value(5e-324),
        Value(-0.0),
        Value(1.0 / 3.0),
        Value(std::numeric_limits<double>::infinity()),
        Value(counting(1000)),
        Value(counting(51)), // exactly one line
        Value(Date {-62167219200}),
        Value(Date {253402300799}),
        Value::array({}),
        Value::dictionary({}),
        Value::dictionary({{"", ""}, {"key & <more>", Value::array({Value::dictionary({}), Value::array({})})}}),
        deep,
    };
    for (const auto& value : cases) {
        const auto first = value.toXmlPropertyList();
        ASSERT_TRUE(first) << value.description();
        std::string error;
        const auto parsed = Value::fromXmlPropertyList(*first, &error);
        ASSERT_TRUE(parsed) << error << "\n" << *first;
        EXPECT_EQ(*parsed, value) << *first;
        EXPECT_EQ(parsed->type(), value.type());
        const auto second = parsed->toXmlPropertyList();
        ASSERT_TRUE(second);
        EXPECT_EQ(*second, *first);
    }
}

TEST(XmlPropertyList, ValuesWithoutAPropertyListFormAreRefused)
{
    class Token : public Object { };
    const Value cases[] = {
        Value(),
        Value::array({1, Value()}),
        Value::dictionary({{"object", Value(makeRef<Token>())}}),
        Value(Date {std::numeric_limits<double>::infinity()}),
        Value(Date {253402300800}), // year 10000
    };
    for (const auto& value : cases)
        EXPECT_FALSE(value.toXmlPropertyList()) << value.description();

    Value tooDeep = 1;
    for (int i = 0; i < 300; ++i)
        tooDeep = Value::array({tooDeep});
    EXPECT_FALSE(tooDeep.toXmlPropertyList());
}

TEST(XmlPropertyList, ReadsOrdinaryVariants)
{
    struct Case {
        const char* xml;
        Value expected;
    };
    const Case cases[] = {
        {"<plist><string>bare</string></plist>", Value("bare")},
        {"\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8'?>\n<plist version=\"1.0\"><true/></plist>", Value(true)},
        {"<!-- before --><plist>\n  <!-- inside -->\n  <dict>\n    <key>a</key>  <!-- between -->\n"
         "    <integer> 42 </integer>\n  </dict>\n</plist>\n<!-- after -->\n",
         Value::dictionary({{"a", 42}})},
        {"<plist><string>&#65;&#x42;&#x1F4F7;&quot;&apos;</string></plist>", Value("AB\xF0\x9F\x93\xB7\"'")},
        {"<plist><string/></plist>", Value("")},
        {"<plist><string><![CDATA[<raw & text>]]> tail</string></plist>", Value("<raw & text> tail")},
        {"<plist><string>a\r\nb\rc</string></plist>", Value("a\nb\nc")},
        {"<plist><true></true></plist>", Value(true)},
        {"<plist><false /></plist>", Value(false)},
        {"<plist><dict><key/><data/></dict></plist>", Value::dictionary({{"", Value::data("", 0)}})},
        {"<plist><array></array></plist>", Value::array()},
        {"<plist><integer>0x1F</integer></plist>", Value(31)},
        {"<plist><integer>-9223372036854775808</integer></plist>", Value(std::numeric_limits<long long>::min())},
        {"<plist><integer>+7</integer></plist>", Value(7)},
        {"<plist><real>+1.5E2</real></plist>", Value(150.0)},
        {"<plist><real>Infinity</real></plist>", Value(std::numeric_limits<double>::infinity())},
        {"<plist><data>\n  YW\n  I=\n</data></plist>", Value::data("ab", 2)},
        {"<plist><data>YWJj</data></plist>", Value::data("abc", 3)},
        {"<plist><data>YQ</data></plist>", Value::data("a", 1)},
        {"<plist><date>2026-12-09T23:09:04Z</date></plist>", Value(Date {1796857744})},
        {"<plist><dict><key>b</key><integer>2</integer><key>a</key><integer>1</integer></dict></plist>",
         Value::dictionary({{"a", 1}, {"b", 2}})},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto value = Value::fromXmlPropertyList(c.xml, &error);
        ASSERT_TRUE(value) << c.xml << ": " << error;
        EXPECT_EQ(*value, c.expected) << c.xml;
        EXPECT_EQ(value->type(), c.expected.type()) << c.xml;
    }
}

TEST(XmlPropertyList, RefusesDamagedInput)
{
    const std::string fixture = readFixture("preferences.plist");
    std::vector<std::string> cases = {
        "",
        "   ",
        "not xml at all",
        "<plist/>",
        "<plist></plist>",
        "<dict></dict>",
        "<plist><string>unterminated</plist>",
        "<plist><string>a</string><string>b</string></plist>",
        "<plist><string>a</string></plist>trailing",
        "<plist><string>a</string></plist><plist/>",
        "<plist><dict><key>a</key></dict></plist>",
        "<plist><dict><string>a</string><true/></dict></plist>",
        "<plist><dict><key>a</key><true/><key>a</key><false/></dict></plist>",
        "<plist><array><key>a</key></array></plist>",
        "<plist><integer></integer></plist>",
        "<plist><integer/></plist>",
        "<plist><integer>12a</integer></plist>",
        "<plist><integer>18446744073709551616</integer></plist>",
        "<plist><integer>-9223372036854775809</integer></plist>",
        "<plist><real>1.5.2</real></plist>",
        "<plist><real>1e999</real></plist>",
        "<plist><real>++1</real></plist>",
        "<plist><date>2026-02-30T00:00:00Z</date></plist>",
        "<plist><data>Y</data></plist>",
        "<plist><data>YW=I</data></plist>",
        "<plist><data>YWI=YWI=</data></plist>",
        "<plist><data>YW*I</data></plist>",
        "<plist><string>&unknown;</string></plist>",
        "<plist><string>&#xD800;</string></plist>",
        "<plist><string>&#x110000;</string></plist>",
        "<plist><string>&amp</string></plist>",
        "<plist><string>a<b/>c</string></plist>",
        "<plist><string><![CDATA[open</string></plist>",
        "<plist><true>x</true></plist>",
        "<plist><bogus/></plist>",
        "<plist><string>a</strin></plist>",
        "<plist attr><true/></plist>",
        "<plist a=\"<\"><true/></plist>",
        "<!-- unterminated <plist><true/></plist>",
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?><plist><true/></plist>",
        "<!DOCTYPE plist [<!ENTITY a \"aaaa\">]><plist><string>&a;</string></plist>",
        std::string("<plist><string>nul\0byte</string></plist>", 40),
        "<plist><string>a<?pi x?>b</string></plist>",
        "<!DOCTYPE plist><!DOCTYPE plist><plist><true/></plist>",
        "<plist><true/></plist><!DOCTYPE plist>",
        "<?xml version=\"1.0\" Encoding=\"latin1\"?><plist><true/></plist>",
        fixture.substr(0, fixture.size() / 2),
        fixture.substr(0, fixture.size() - 3),
    };
    // Every strict prefix of a valid file is damaged.
    const std::string small = *Value::dictionary({{"k", Value::array({1, "s"})}}).toXmlPropertyList();
    for (std::size_t length = 0; length + 1 < small.size(); length += 7)
        cases.push_back(small.substr(0, length));

    for (const auto& xml : cases) {
        std::string error;
        EXPECT_FALSE(Value::fromXmlPropertyList(xml, &error)) << xml;
        EXPECT_FALSE(error.empty()) << xml;
    }
}

TEST(XmlPropertyList, NestingIsBounded)
{
    auto nested = [](int depth) {
        std::string xml = "<plist>";
        for (int i = 0; i < depth; ++i)
            xml += "<array>";
        xml += "<true/>";
        for (int i = 0; i < depth; ++i)
            xml += "</array>";
        return xml + "</plist>";
    };
    EXPECT_TRUE(Value::fromXmlPropertyList(nested(200)));
    EXPECT_TRUE(Value::fromXmlPropertyList(nested(256)));
    // 50 MB of nested arrays: refused for its depth, before a tree of seven million nodes is
    // built, and without deep recursion.
    for (const int depth : {257, 100000, 50 * 1000 * 1000 / 15}) {
        std::string error;
        EXPECT_FALSE(Value::fromXmlPropertyList(nested(depth), &error)) << depth;
        EXPECT_NE(error.find("nesting"), std::string::npos) << depth << ": " << error;
    }
}

TEST(XmlPropertyList, ValuesOverTheBudgetAreRefused)
{
    // Side by side, empty arrays cost 8 bytes of text each and far more as values: 16 MiB of
    // them would take hundreds of MiB.
    std::string wide = "<plist><array>";
    for (int i = 0; i < (16 << 20) / 8; ++i)
        wide += "<array/>";
    wide += "</array></plist>";
    std::string error;
    EXPECT_FALSE(Value::fromXmlPropertyList(wide, &error));
    EXPECT_NE(error.find("MiB"), std::string::npos) << error;

    // A large list of ordinary size reads.
    std::string list = "<plist><array>";
    for (int i = 0; i < 100000; ++i)
        list += "<integer>" + std::to_string(i) + "</integer>";
    list += "</array></plist>";
    const auto value = Value::fromXmlPropertyList(list, &error);
    ASSERT_TRUE(value) << error;
    EXPECT_EQ(value->size(), 100000u);
    EXPECT_EQ(value->at(99999), Value(99999));
}

} // namespace
