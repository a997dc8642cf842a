// The property-list value: types, conversions, deep equality, copy on write, dotted paths and
// descriptions.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "Platform/Value.h"

using namespace vistel;

namespace {

class Token : public Object { };

TEST(Value, TypesOfConstructedValues)
{
    struct Case {
        Value value;
        Value::Type type;
    };
    const Case cases[] = {
        {Value(), Value::Type::Null},
        {Value(nullptr), Value::Type::Null},
        {Value(static_cast<const char*>(nullptr)), Value::Type::Null},
        {Value(Ref<Object>()), Value::Type::Null},
        {Value(true), Value::Type::Boolean},
        {Value(-3), Value::Type::Integer},
        {Value(3u), Value::Type::Integer},
        {Value(std::numeric_limits<unsigned long long>::max()), Value::Type::Integer},
        {Value(0.5), Value::Type::Real},
        {Value("text"), Value::Type::String},
        {Value(std::string_view("view")), Value::Type::String},
        {Value::data("ab", 2), Value::Type::Data},
        {Value(Date {12}), Value::Type::Date},
        {Value::array({1, 2}), Value::Type::Array},
        {Value::dictionary({{"a", 1}}), Value::Type::Dictionary},
        {Value(makeRef<Token>()), Value::Type::Object},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.value.type(), c.type) << c.value.description();
}

TEST(Value, NumbersConvertAmongThemselvesAndOtherTypesAnswerTheFallback)
{
    EXPECT_EQ(Value(2.9).toInt64(), 2);
    EXPECT_EQ(Value(-2.9).toInt64(), -2);
    EXPECT_EQ(Value(1e300).toInt64(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(Value(-1e300).toInt64(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(Value(std::numeric_limits<unsigned long long>::max()).toInt64(),
              std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(Value(std::numeric_limits<unsigned long long>::max()).unsignedAboveInt64(),
              std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(Value(std::numeric_limits<long long>::max()).unsignedAboveInt64(), std::nullopt);
    EXPECT_EQ(Value(-1).unsignedAboveInt64(), std::nullopt);
    EXPECT_EQ(Value(true).toInt64(), 1);
    EXPECT_DOUBLE_EQ(Value(7).toDouble(), 7.0);
    EXPECT_TRUE(Value(0.1).toBool());
    EXPECT_FALSE(Value(0).toBool(true));

    EXPECT_EQ(Value("12").toInt64(5), 5); // strings are not parsed
    EXPECT_TRUE(Value().toBool(true));
    EXPECT_EQ(Value(3).toString("none"), "none");
    EXPECT_EQ(Value("x").toDate(Date {4}), Date {4});
    EXPECT_TRUE(Value(3).asString().empty());
    EXPECT_TRUE(Value("x").asArray().empty());
}

TEST(Value, EqualityIsDeepAndNumbersCompareByValue)
{
    EXPECT_EQ(Value(1), Value(1.0));
    EXPECT_EQ(Value(1), Value(true));
    EXPECT_EQ(Value(0.0), Value(false));
    EXPECT_NE(Value(1), Value(1.5));
    EXPECT_NE(Value(1), Value("1"));
    EXPECT_NE(Value(), Value(0));
    EXPECT_EQ(Value(), Value());
    EXPECT_EQ(Value(std::numeric_limits<double>::quiet_NaN()), Value(std::numeric_limits<double>::quiet_NaN()));
    // 2^63 as a real equals the unsigned integer 2^63, not INT64_MAX.
    EXPECT_EQ(Value(9223372036854775808.0), Value(9223372036854775808ull));
    EXPECT_NE(Value(9223372036854775808.0), Value(std::numeric_limits<long long>::max()));

    const Value a = Value::dictionary({{"list", Value::array({1, "two", Value::data("\x01", 1)})}, {"n", 2.0}});
    const Value b = Value::dictionary({{"n", 2}, {"list", Value::array({1.0, "two", Value::data("\x01", 1)})}});
    EXPECT_EQ(a, b);
    Value c = b;
    c.mutableDictionary()["list"].append(3);
    EXPECT_NE(a, c);

    auto token = makeRef<Token>();
    EXPECT_EQ(Value(token), Value(token));
    EXPECT_NE(Value(token), Value(makeRef<Token>()));
}

TEST(Value, CopiesDoNotSeeLaterChanges)
{
    Value original = Value::dictionary({{"inner", Value::dictionary({{"x", 1}})}});
    const Value copy = original;
    original.setPath("inner.x", 2);
    original.mutableDictionary()["added"] = "yes";
    EXPECT_EQ(copy.getPath("inner.x").toInt64(), 1);
    EXPECT_FALSE(copy.contains("added"));
    EXPECT_EQ(original.getPath("inner.x").toInt64(), 2);

    Value text = "abc";
    const Value textCopy = text;
    text.mutableString() += "d";
    EXPECT_EQ(textCopy.asString(), "abc");
    EXPECT_EQ(text.asString(), "abcd");
}

TEST(Value, ConstValuesAreReadableFromManyThreads)
{
    Value shared = Value::dictionary({{"a", Value::array({1, 2, 3})}, {"b", "text"}});
    std::vector<std::thread> threads;
    std::atomic<int> mismatches {0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&shared, &mismatches] {
            for (int i = 0; i < 2000; ++i) {
                Value copy = shared;                // shares storage
                copy.mutableDictionary()["c"] = i;  // detaches
                if (copy.get("a").size() != 3 || shared.contains("c"))
                    ++mismatches;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST(Value, DottedPaths)
{
    Value prefs;
    prefs.setPath("ThumbnailStyle.Size", 128);
    prefs.setPath("ThumbnailStyle.Shadow", true);
    prefs.setPath("Global", "x");
    EXPECT_EQ(prefs.get("ThumbnailStyle"), Value::dictionary({{"Size", 128}, {"Shadow", true}}));
    EXPECT_EQ(prefs.getPath("ThumbnailStyle.Size").toInt64(), 128);
    EXPECT_TRUE(prefs.getPath("ThumbnailStyle.Missing").isNull());
    EXPECT_TRUE(prefs.getPath("Global.x").isNull()); // a string has no entries

    // Setting below a non-dictionary replaces it with a dictionary.
    prefs.setPath("Global.Inner", 1);
    EXPECT_EQ(prefs.get("Global"), Value::dictionary({{"Inner", 1}}));

    EXPECT_TRUE(prefs.removePath("ThumbnailStyle.Size"));
    EXPECT_FALSE(prefs.removePath("ThumbnailStyle.Size"));
    EXPECT_FALSE(prefs.removePath("Nothing.Here"));
    EXPECT_EQ(prefs.get("ThumbnailStyle"), Value::dictionary({{"Shadow", true}}));
}

TEST(Value, ArrayAndDictionaryHelpers)
{
    Value list;
    list.append("a");
    list.append(2);
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(list.at(1).toInt64(), 2);
    EXPECT_TRUE(list.at(2).isNull());

    Value dict = Value::dictionary({{"k", 1}});
    EXPECT_TRUE(dict.remove("k"));
    EXPECT_FALSE(dict.remove("k"));
    EXPECT_EQ(dict.size(), 0u);
    EXPECT_TRUE(dict.isDictionary());
    EXPECT_EQ(Value::data("abc", 3).size(), 3u);
    EXPECT_EQ(Value(5).size(), 0u);
}

TEST(Value, Description)
{
    struct Case {
        Value value;
        const char* text;
    };
    const Case cases[] = {
        {Value("plain text"), "plain text"},
        {Value(3), "3"},
        {Value(3.0), "3"},
        {Value(0.5), "0.5"},
        {Value(-12345678901234ll), "-12345678901234"},
        {Value(18446744073709551615ull), "18446744073709551615"},
        {Value(true), "1"},
        {Value(), "(null)"},
        {Value::data("\x01\x02\xab\xcd\xef", 5), "<0102abcd ef>"},
        {Value(Date {0}), "1970-01-01 00:00:00 +0000"},
        {Value::array({1, "two words", "plain", Value::array({})}), "(1, \"two words\", plain, ())"},
        {Value::dictionary({{"b", "x\"y"}, {"a", 1}}), "{a = 1; b = \"x\\\"y\";}"},
        {Value::dictionary({}), "{}"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.value.description(), c.text);
    EXPECT_NE(Value(makeRef<Token>()).description().find("Token"), std::string::npos);
}

// What log lines show of a value: the description up to 256 bytes, cut between characters and
// marked with "…"; shorter ones whole.
TEST(Value, LogDescriptionIsCutAt256Bytes)
{
    struct Case {
        Value value;
        std::string expected;
    };
    const std::string exactly(256, 'a');
    std::string accents; // "é" is two bytes: byte 256 falls inside the 128th
    for (int i = 0; i < 129; ++i)
        accents += "\xC3\xA9";
    const std::string ellipsis = "\xE2\x80\xA6";
    const Case cases[] = {
        {Value("short"), "short"},
        {Value(exactly), exactly},
        {Value(exactly + "b"), exactly + ellipsis},
        {Value(" " + accents), " " + accents.substr(0, 254) + ellipsis},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.value.logDescription(), c.expected) << c.value.description().size();
    // Forty thousand bytes of maker notes: 256 bytes of their hex, then the mark.
    const std::string bytes = Value(Value::Bytes(40000, 0xAB)).logDescription();
    EXPECT_EQ(bytes.size(), 256u + ellipsis.size());
    EXPECT_EQ(bytes.substr(0, 10), "<abababab ");
    EXPECT_EQ(bytes.substr(256), ellipsis);
}

TEST(Date, Iso8601RoundTrip)
{
    struct Case {
        double seconds;
        const char* text;
    };
    const Case cases[] = {
        {0, "1970-01-01T00:00:00Z"},
        {1796857744, "2026-12-09T23:09:04Z"},
        {951782400, "2000-02-29T00:00:00Z"},
        {-1, "1969-12-31T23:59:59Z"},
        {-62167219200, "0000-01-01T00:00:00Z"},
        {253402300799, "9999-12-31T23:59:59Z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Date {c.seconds}.iso8601(), c.text);
        EXPECT_EQ(Date::fromIso8601(c.text), Date {c.seconds}) << c.text;
    }
    // Fractions of a second are dropped downward, also before 1970.
    EXPECT_EQ(Date {10.9}.iso8601(), "1970-01-01T00:00:10Z");
    EXPECT_EQ(Date {-0.5}.iso8601(), "1969-12-31T23:59:59Z");
    EXPECT_EQ(Date::fromIso8601("1970-01-01T00:00:01.25Z"), Date {1.25});

    for (const char* bad : {"", "1970-01-01", "1970-01-01T00:00:00", "1970-13-01T00:00:00Z", "2001-02-29T00:00:00Z",
                            "1970-01-01T24:00:00Z", "1970-01-01T00:00:00Zx", "197O-01-01T00:00:00Z",
                            "1970-01-01T00:00:00.Z", "+970-01-01T00:00:00Z"})
        EXPECT_FALSE(Date::fromIso8601(bad)) << bad;
}

TEST(Date, TimePointSaturatesOutsideTheClocksRange)
{
    using std::chrono::system_clock;
    constexpr double infinity = std::numeric_limits<double>::infinity();
    EXPECT_EQ(Date {1.5}.timePoint().time_since_epoch(), std::chrono::milliseconds(1500));
    EXPECT_EQ(Date::fromTimePoint(Date {-86400.25}.timePoint()), Date {-86400.25});
    // The clock's nanoseconds end in the year 2262; later dates must not wrap into the past.
    EXPECT_EQ(Date {253402300799}.timePoint(), system_clock::time_point::max()); // 9999-12-31
    EXPECT_EQ(Date {-62167219200}.timePoint(), system_clock::time_point::min()); // 0000-01-01
    EXPECT_EQ(Date {infinity}.timePoint(), system_clock::time_point::max());
    EXPECT_EQ(Date {-infinity}.timePoint(), system_clock::time_point::min());
    EXPECT_EQ(Date {std::numeric_limits<double>::quiet_NaN()}.timePoint(), system_clock::time_point());
}

} // namespace
