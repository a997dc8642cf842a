#include "Platform/Formatter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace vistel {
namespace {

struct Case {
    std::string format;
    std::vector<Value> arguments;
    std::string expected;
};

std::ostream& operator<<(std::ostream& stream, const Case& c) { return stream << '"' << c.format << '"'; }

class FormatterCases : public testing::TestWithParam<Case> { };

TEST_P(FormatterCases, FillsAsExpected)
{
    const Case& c = GetParam();
    EXPECT_EQ(formatString(c.format, c.arguments), c.expected);
}

// Texts as the program writes them, and the behaviour of each conversion beyond plain C.
INSTANTIATE_TEST_SUITE_P(ProgramTexts, FormatterCases, testing::Values(
    Case {"%3$d of %1$d selected, %2$@ available", {10, "1.0 GB", 2}, "2 of 10 selected, 1.0 GB available"},
    Case {"%d items, %@ available", {7, "12 MB"}, "7 items, 12 MB available"},
    Case {"%.1f KB", {12.34}, "12.3 KB"},
    Case {"%.1f KB", {3}, "3.0 KB"},
    Case {"%i B", {512}, "512 B"},
    Case {"%%", {}, "%"},
    Case {"100%", {}, "100%"},
    Case {"%0.0f", {2.7}, "3"},
    Case {"%2.2f", {3.14159}, "3.14"},
    Case {"%03d", {7}, "007"},
    Case {"%ld files", {123456789012LL}, "123456789012 files"},
    Case {"{ZovDockArea 0x%x items{%@}}", {255, "x"}, "{ZovDockArea 0xff items{x}}"},
    Case {"[%d](%s %s) c=%@", {4, "VIS", "FILE", Value()}, "[4](VIS FILE) c=(null)"},
    Case {"Convertion error %d", {-34}, "Convertion error -34"},
    Case {"Are you sure you want to open %d files?", {6}, "Are you sure you want to open 6 files?"}));

INSTANTIATE_TEST_SUITE_P(Conversions, FormatterCases, testing::Values(
    // %@ takes any value, as its description.
    Case {"%@", {Value::array({"a", 2})}, "(a, 2)"},
    Case {"%@ %@ %@", {true, 0.5, 42}, "1 0.5 42"},
    Case {"%@", {Value()}, "(null)"},
    Case {"[%5@|%-5@]", {"ab", "cd"}, "[   ab|cd   ]"},
    Case {"[%4@]", {"\xC3\xA9t\xC3\xA9"}, "[ \xC3\xA9t\xC3\xA9]"}, // counts characters, not bytes
    Case {"%.2@", {"h\xC3\xA9llo"}, "h\xC3\xA9"},
    // %s: bytes, but a precision never cuts a UTF-8 sequence in two.
    Case {"%.2s|", {"a\xC3\xA9"}, "a|"},
    Case {"%s", {Value()}, "(null)"},
    // %c: a code point, written as UTF-8, or a one-character string.
    Case {"%c%c", {65, 0x263A}, "A\xE2\x98\xBA"},
    Case {"%lc", {"\xC3\xA9"}, "\xC3\xA9"},
    Case {"[%3c]", {'x'}, "[  x]"},
    // Integers and booleans; 32-bit C semantics where the value fits, all 64 bits otherwise.
    Case {"%d", {true}, "1"},
    Case {"%u %x %X", {-1, -1, 255}, "4294967295 ffffffff FF"},
    Case {"%lu", {-1}, "18446744073709551615"},
    Case {"%d", {5000000000LL}, "5000000000"},
    Case {"%hhd %hu", {300, 70000}, "44 4464"},
    Case {"%lld", {std::numeric_limits<long long>::min()}, "-9223372036854775808"},
    // Unsigned values above INT64_MAX keep all their bits.
    Case {"%llu %llx", {std::numeric_limits<unsigned long long>::max(), 0x8000000000000000ull},
          "18446744073709551615 8000000000000000"},
    Case {"%u %d %hhu", {0x8000000000000001ull, std::numeric_limits<unsigned long long>::max(), 0x8000000000000101ull},
          "9223372036854775809 -1 1"},
    Case {"%'d", {1234567}, "1234567"},
    // Integers are fine for floating conversions.
    Case {"%.2e", {1500}, "1.50e+03"},
    // Width and precision from arguments.
    Case {"[%*d]", {5, 42}, "[   42]"},
    Case {"[%*d]", {-5, 42}, "[42   ]"},
    Case {"[%.*f]", {-1, 0.5}, "[0.500000]"},
    Case {"[%2$*1$d]", {4, 7}, "[   7]"},
    Case {"[%3$.*2$f]", {0, 1, 2.25}, "[2.2]"},
    // Positional and plain specifiers mixed: plain ones count on among themselves.
    Case {"%2$@ %@ %@", {"a", "b"}, "b a b"},
    Case {"%1$@%1$@", {"z"}, "zz"},
    Case {"%5%", {}, "%"}));

// Everything the formatter cannot fill becomes the placeholder; the rest of the text stays.
INSTANTIATE_TEST_SUITE_P(Placeholders, FormatterCases, testing::Values(
    Case {"%d", {}, "(?)"},
    Case {"%d and %@", {1}, "1 and (?)"},
    Case {"%d", {"text"}, "(?)"},
    Case {"%d", {1.5}, "(?)"},
    Case {"%f", {"1.5"}, "(?)"},
    Case {"%s", {3}, "(?)"},
    Case {"%s", {Value::array({"a"})}, "(?)"},
    Case {"%@ %5$@ %@", {"a", "b"}, "a (?) b"},
    Case {"%0$d", {1}, "(?)"},
    Case {"%99999999999999999999$d", {1}, "(?)"},
    Case {"%n", {1}, "(?)"},
    Case {"%p|%d", {1}, "(?)|1"},
    Case {"%m", {}, "(?)"},
    Case {"%hf", {1.0}, "(?)"},
    Case {"%l@", {"a"}, "(?)"},
    Case {"x %5", {1}, "x (?)"},
    Case {"x %-", {}, "x (?)"},
    Case {"%\xC3\xA9", {1}, "(?)\xC3\xA9"},
    Case {"[%*d]", {"wide", 5}, "[(?)]"},
    Case {"[%*d] %d", {3}, "[(?)] (?)"},
    Case {"%c", {0}, "(?)"},
    Case {"%c", {0xD800}, "(?)"},
    Case {"%c", {0x110000}, "(?)"},
    Case {"%c", {"ab"}, "(?)"},
    Case {"%c", {2.0}, "(?)"}));

TEST(Formatter, ClampsHugeWidthAndPrecision)
{
    const std::string wide = formatString("%999999999d", std::vector<Value> {Value(1)});
    EXPECT_EQ(wide.size(), static_cast<std::size_t>(MaxFormatWidth));
    EXPECT_EQ(wide.back(), '1');

    const std::string precise = vistel::format("%.2147483648f", 0.5);
    EXPECT_EQ(precise.size(), 2u + MaxFormatWidth);

    const std::string starred = vistel::format("%*s|", std::numeric_limits<int>::min(), "x");
    EXPECT_EQ(starred.size(), static_cast<std::size_t>(MaxFormatWidth) + 1);
    EXPECT_EQ(starred.front(), 'x');
}

TEST(Formatter, ConvenienceFormTakesEveryArgumentKind)
{
    const std::size_t count = 3;
    const std::int64_t bytes = -7;
    const std::string name = "photo.jpg";
    EXPECT_EQ(vistel::format("%zu %lld %.1f %@ %s %@ %d", count, bytes, 0.25f, name, "c", Value(1), false),
              "3 -7 0.2 photo.jpg c 1 0");
    EXPECT_EQ(vistel::format(std::string("no arguments")), "no arguments");
    EXPECT_EQ(vistel::format(std::string_view("%d%%"), 50), "50%");
}

// For well-formed specifiers with the argument C expects, the output is C's.
template <class T>
void expectSameAsC(const std::string& specifier, T value)
{
    char expected[2048];
    std::snprintf(expected, sizeof expected, specifier.c_str(), value);
    EXPECT_EQ(vistel::format(specifier, value), expected) << "specifier " << specifier;
}

std::vector<std::string> flagSets(std::string_view flags)
{
    std::vector<std::string> sets;
    for (unsigned mask = 0; mask < (1u << flags.size()); ++mask) {
        std::string set;
        for (std::size_t bit = 0; bit < flags.size(); ++bit)
            if (mask & (1u << bit))
                set += flags[bit];
        sets.push_back(set);
    }
    return sets;
}

const std::vector<std::string> Widths = {"", "1", "6", "14"};
const std::vector<std::string> Precisions = {"", ".", ".0", ".3", ".9"};

TEST(Formatter, IntegersMatchC)
{
    const std::vector<int> values = {0, 1, -1, 42, -4242, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()};
    for (const std::string& flags : flagSets("-+ 0#"))
        for (const std::string& width : Widths)
            for (const std::string& precision : Precisions)
                for (char conversion : std::string("diuoxX")) {
                    const bool isSigned = conversion == 'd' || conversion == 'i';
                    if (flags.find('#') != std::string::npos && (isSigned || conversion == 'u'))
                        continue; // '#' is undefined for these in C
                    const std::string spec = "%" + flags + width + precision;
                    for (int value : values) {
                        if (isSigned)
                            expectSameAsC(spec + conversion, value);
                        else
                            expectSameAsC(spec + conversion, static_cast<unsigned>(value));
                    }
                    const long long big = 0x123456789ALL;
                    if (isSigned) {
                        expectSameAsC(spec + "ll" + conversion, -big);
                    } else {
                        expectSameAsC(spec + "ll" + conversion, static_cast<unsigned long long>(big));
                        expectSameAsC(spec + "ll" + conversion, 0xFEDCBA9876543210ull);
                    }
                }
}

TEST(Formatter, FloatingMatchesC)
{
    const std::vector<double> values = {0.0, -0.0, 0.1, 1.5, -2.25, 1234567.891, 1e-7, 6.02e23, -1e300,
                                        std::numeric_limits<double>::infinity(), std::nan(""),
                                        std::numeric_limits<double>::denorm_min()};
    for (const std::string& flags : flagSets("-+ 0#"))
        for (const std::string& width : Widths)
            for (const std::string& precision : Precisions)
                for (char conversion : std::string("fFeEgGaA"))
                    for (double value : values)
                        expectSameAsC("%" + flags + width + precision + conversion, value);
}

TEST(Formatter, StringsMatchC)
{
    for (const std::string flags : {"", "-"})
        for (const std::string& width : Widths)
            for (const std::string& precision : Precisions)
                for (const char* text : {"", "a", "photo.jpg", "a rather long file name"})
                    expectSameAsC("%" + flags + width + precision + "s", text);
}

TEST(Formatter, DecimalPointIsAlwaysAPoint)
{
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    bool switched = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"})
        if (std::setlocale(LC_NUMERIC, name)) {
            switched = true;
            break;
        }
    if (!switched)
        VISTEL_SKIP_UNAVAILABLE() << "no locale with a decimal comma installed";
    const std::string text = vistel::format("%.1f %g", 1.5, 2.5);
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(text, "1.5 2.5");
}

} // namespace
} // namespace vistel
