// The text preprocessor shared by the readers.

#include <gtest/gtest.h>

#include "Preprocessor.h"

using namespace vistel;

TEST(Preprocessor, Cases)
{
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"a   /* block */   b", "a b"},
        {"a // line\nb", "a b"},           // the line comment goes with its line feed
        {"a// line\nb", "ab"},
        {"#import <x.h>\nint x;", "int x;"},
        {"#define A \\\n  continued\nnext", "next"},
        {"#define A 1 \\ x\nline2\nline3", "line3"}, // a backslash anywhere continues the line
        {"x\t\n\r\v\fy", "x y"},
        {"\"a  // not a comment /* */\"  b", "\"a  // not a comment /* */\" b"},
        {"\"esc \\\" still\"  x", "\"esc \\\" still\" x"},
        {"'\"' a  b\"", "'\"' a  b\""},    // a double quote between single quotes opens a string
        {"a /", "a "},                      // a slash as the last unit is dropped
        {"a/b", "a/b"},
        {"a /* open", "a "},
        {"\"open", "\"open"},
        {"", ""},
        {"   lead", " lead"},
    };
    const Preprocessor preprocessor = Preprocessor::preprocessor();
    for (const Case& c : cases)
        EXPECT_EQ(preprocessor.createPreprocessedString(std::string_view(c.in)), c.out) << c.in;
    EXPECT_FALSE(preprocessor.createPreprocessedString(std::string_view("\xC3\x28")));
}

TEST(Preprocessor, GroupsAndQuotesAreBoundsChecked)
{
    using namespace text_units;
    const std::u16string text = u"(a \")\" (b) c)";
    EXPECT_EQ(endOfGroup(text, 0), text.size());
    EXPECT_EQ(endOfGroup(u"((x)", 0), std::u16string_view::npos);
    EXPECT_EQ(endOfGroup(u"(\"x)", 0), std::u16string_view::npos);
    EXPECT_EQ(endOfGroup(u"", 0), std::u16string_view::npos);
    EXPECT_EQ(endOfQuoted(u"\"ab\\", 0), std::u16string_view::npos);
    EXPECT_EQ(findOutsideQuotes(u"\"@end\" @end", u"@end", 0), 7u);
    EXPECT_TRUE(isNameChar(u'\u0141')); // low 8 bits are 'A'
    EXPECT_FALSE(isNameChar(u'-'));
}
