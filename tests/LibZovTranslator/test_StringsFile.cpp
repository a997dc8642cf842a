// The string table reader of the run-time lookup, and the escape rules shared with saving.

#include <gtest/gtest.h>

#include "StringsFile.h"
#include "Utf16.h"

using namespace vistel;

namespace {

StringsDictionary parseOk(std::string_view text)
{
    std::string error;
    auto parsed = parseStringsFile(text, &error);
    EXPECT_TRUE(parsed) << text << ": " << error;
    return parsed.value_or(StringsDictionary {});
}

} // namespace

TEST(StringsFile, Entries)
{
    struct Case {
        const char* text;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {R"("a" = "b";)", "a", "b"},
        {"\"a\"=\"b\";", "a", "b"},
        {"/* c */ \"a\" /* d */ = // e\n \"b\" ;", "a", "b"},
        {R"('single' = 'it"s';)", "single", "it\"s"},
        {"Token = other_token.1:$-/;", "Token", "other_token.1:$-/"},
        {R"("bare";)", "bare", "bare"},
        {R"({ "a" = "b"; })", "a", "b"},
        {R"("e" = "q\" b\\ n\n t\t r\r a\a v\v f\f bs\b s\' x\z";)", "e", "q\" b\\ n\n t\t r\r a\a v\v f\f bs\b s' xz"},
        {R"("u" = "\U00e4\U20AC\Ud83d\Ude00\U";)", "u", "ä€😀U"},
        {R"("o" = "\101\60\0618\331\377";)", "o", "A018ä\xEF\xBF\xBD"}, // \331 is ä in the legacy 8-bit set, \377 undefined
        {R"("dup" = "1"; "dup" = "2";)", "dup", "2"},
        {"\xEF\xBB\xBF\"bom\" = \"utf8\";", "bom", "utf8"},
        {"\"multi\nline\" = \"v\";", "multi\nline", "v"},
    };
    for (const Case& c : cases) {
        const auto table = parseOk(c.text);
        auto found = table.find(c.key);
        ASSERT_NE(found, table.end()) << c.text;
        EXPECT_EQ(found->second, c.value) << c.text;
    }
}

TEST(StringsFile, EmptyAndCommentOnlyTextsAreEmptyTables)
{
    for (const char* text : {"", "  \n\t", "/* only */ // a comment", "{}", "{ /* x */ }"})
        EXPECT_TRUE(parseOk(text).empty()) << text;
}

TEST(StringsFile, DamagedTextsFail)
{
    const char* cases[] = {
        R"("a" = "b")",          // no semicolon
        R"("a" = "b)",           // unterminated string
        R"("a" "b";)",           // no equals sign
        R"("a" = ;)",            // no value
        R"("a" = ("x"););)",     // arrays are not string values
        "/* open comment",
        R"({ "a" = "b"; )",      // unclosed dictionary
        R"({ "a" = "b"; } x)",   // text after the dictionary
        R"({ "bare"; })",        // a bare key only in the strings form
        "\"a\\",
        "=",
        "\"ok\" = \"v\"; @",
    };
    for (const char* text : cases) {
        std::string error;
        EXPECT_FALSE(parseStringsFile(text, &error)) << text;
        EXPECT_NE(error.find("line"), std::string::npos) << text;
    }
}

TEST(StringsFile, Utf16ByteOrderMarks)
{
    const std::u16string text = u"\"k\" = \"Wert \u00e4\";";
    std::string little = "\xFF\xFE", big = "\xFE\xFF";
    for (char16_t unit : text) {
        little.push_back(static_cast<char>(unit & 0xFF));
        little.push_back(static_cast<char>(unit >> 8));
        big.push_back(static_cast<char>(unit >> 8));
        big.push_back(static_cast<char>(unit & 0xFF));
    }
    EXPECT_EQ(parseOk(little).at("k"), "Wert ä");
    EXPECT_EQ(parseOk(big).at("k"), "Wert ä");
    little.pop_back(); // an odd number of bytes
    EXPECT_FALSE(parseStringsFile(little));
    EXPECT_FALSE(parseStringsFile("\"k\" = \"\xC3\x28\";")); // not UTF-8
}

TEST(StringsFile, EscapeAndUnescapeAreSymmetric)
{
    for (const char* text : {"plain", "quote \" here", "back\\slash", "new\nline", "tab\there", "cr\r", "\\\"\\n",
                             "trailing \\"}) {
        const std::string escaped = escapeStringsText(text);
        const auto parsed = parseOk("\"k\" = \"" + escaped + "\";");
        EXPECT_EQ(parsed.at("k"), text);
        EXPECT_EQ(unescapeStringsText(*utf16::fromUtf8(escaped)), text);
    }
    EXPECT_EQ(escapeStringsText("a\"b\\c\nd"), "a\\\"b\\\\c\\nd");
    // A lone trailing backslash stands for itself.
    EXPECT_EQ(unescapeStringsText(u"end\\"), "end\\");
}

TEST(Utf16, StrictUtf8)
{
    EXPECT_EQ(utf16::fromUtf8("a\xC3\xA4\xF0\x9F\x98\x80"), std::u16string(u"a\u00e4\U0001F600"));
    for (const char* bad : {"\xC0\x80", "\xED\xA0\x80", "\xE2\x82", "\xF8\x88\x80\x80\x80", "\x80", "\xF4\x90\x80\x80"})
        EXPECT_FALSE(utf16::fromUtf8(bad)) << bad;
    EXPECT_EQ(utf16::toUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(utf16::unitCount("a\xC3\xA4\xF0\x9F\x98\x80"), 4u);
}
