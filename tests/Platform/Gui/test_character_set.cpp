// Character sets used to filter typed text.
#include <gtest/gtest.h>

#include "Platform/Gui/CharacterSet.h"

using namespace vistel;

TEST(CharacterSet, MembershipOfEachKindOfSet)
{
    const CharacterSet digits = CharacterSet::decimalDigitCharacterSet();
    const CharacterSet listed = CharacterSet::characterSetWithCharactersInString("aé€😀");
    const CharacterSet range = CharacterSet::characterSetWithRange(U'a', 3);
    struct Case {
        const char* name;
        const CharacterSet& set;
        char32_t c;
        bool member;
    };
    const Case cases[] = {
        {"digit 0", digits, U'0', true},          {"digit 9", digits, U'9', true},
        {"arabic-indic one", digits, U'\u0661', true}, {"letter", digits, U'a', false},
        {"superscript two", digits, U'\u00b2', false}, {"listed ascii", listed, U'a', true},
        {"listed two-byte", listed, U'é', true},   {"listed astral", listed, U'\U0001F600', true},
        {"not listed", listed, U'b', false},       {"range start", range, U'a', true},
        {"range end", range, U'c', true},          {"past range", range, U'd', false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.set.longCharacterIsMember(c.c), c.member);
        EXPECT_EQ(c.set.invertedSet().longCharacterIsMember(c.c), !c.member);
    }
}

TEST(CharacterSet, EmptyAndOutOfRangeSetsHoldNothing)
{
    EXPECT_FALSE(CharacterSet().longCharacterIsMember(U'a'));
    EXPECT_TRUE(CharacterSet().invertedSet().longCharacterIsMember(U'a'));
    EXPECT_FALSE(CharacterSet::characterSetWithRange(U'a', 0).longCharacterIsMember(U'a'));
    EXPECT_FALSE(CharacterSet::characterSetWithRange(0x110000, 5).longCharacterIsMember(0x110000));
    EXPECT_TRUE(CharacterSet::characterSetWithRange(0x10FFFE, 100).longCharacterIsMember(0x10FFFF));
}
