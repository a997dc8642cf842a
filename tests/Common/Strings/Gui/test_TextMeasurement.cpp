#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTextBoundaryFinder>

#include <string>
#include <thread>
#include <vector>

#include "Common/Strings/Gui/NSStringExtensionsText.h"
#include "Common/Strings/Gui/NSStringMeasurer.h"

namespace vistel {
namespace {

namespace ext = NSStringExtensions;

// Text measuring needs the Gui application object, as in the program.
class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "test_TextMeasurement";
        static char* argv[] = {name, nullptr};
        application_ = std::make_unique<QGuiApplication>(argc, argv);
    }
    void TearDown() override { application_.reset(); }

private:
    std::unique_ptr<QGuiApplication> application_;
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

// Widths below depend on the font: pin one that the test machines have.
QFont dejaVuSans(qreal points = 12)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(points);
    return font;
}

class TextMeasurement : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(QFontInfo(dejaVuSans()).family(), QStringLiteral("DejaVu Sans")); }
};

std::vector<QString> graphemesOf(const QString& text)
{
    std::vector<QString> result;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end != -1; end = finder.toNextBoundary()) {
        if (end > start)
            result.push_back(text.mid(start, end - start));
        start = end;
    }
    return result;
}

TEST_F(TextMeasurement, CachedSizeIsTheFontMetricsSizeAndFollowsTheFont)
{
    const std::string text = "Holiday photos 2009 (cached)";
    const QSizeF small = ext::sizeWithAttributesExt(text, dejaVuSans(12));
    EXPECT_EQ(small, QFontMetricsF(dejaVuSans(12)).size(0, QString::fromStdString(text)));
    EXPECT_EQ(ext::sizeWithAttributesExt(text, dejaVuSans(12)), small);

    // Another font replaces the entry; the first font is measured again afterwards.
    const QSizeF large = ext::sizeWithAttributesExt(text, dejaVuSans(24));
    EXPECT_GT(large.width(), small.width() * 1.5);
    EXPECT_EQ(ext::sizeWithAttributesExt(text, dejaVuSans(12)), small);

    // Line breaks of the text make lines.
    const QSizeF twoLines = ext::sizeWithAttributesExt("first line\nsecond", dejaVuSans(12));
    EXPECT_GT(twoLines.height(), small.height() * 1.5);
}

TEST_F(TextMeasurement, CacheStartsAnewAboveItsLimit)
{
    const QFont font = dejaVuSans();
    std::size_t i = 0;
    while (ext::sizeCacheCount() <= ext::SizeCacheLimit)
        ext::sizeWithAttributesExt("entry " + std::to_string(i++), font);
    ext::sizeWithAttributesExt("one more", font);
    EXPECT_EQ(ext::sizeCacheCount(), 1u);
}

TEST_F(TextMeasurement, CacheIsSafeFromManyThreads)
{
    const QFont font = dejaVuSans();
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                const std::string text = "shared " + std::to_string(i % 300);
                if (ext::sizeWithAttributesExt(text, font).width() <= 0)
                    ++mismatches[t];
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int count : mismatches)
        EXPECT_EQ(count, 0);
}

TEST_F(TextMeasurement, MeasurerLaysOutLinesWithoutWrapping)
{
    const QFont font = dejaVuSans();
    NSStringMeasurer measurer(&font);
    const QSizeF one = measurer.measureString("A long line that must never wrap, however long it gets, really");
    const QSizeF two = measurer.measureString("short\nlines");
    EXPECT_NEAR(one.width(),
                QFontMetricsF(font).horizontalAdvance("A long line that must never wrap, however long it gets, really"),
                2.0);
    EXPECT_GT(two.height(), one.height() * 1.5);
    EXPECT_EQ(ext::estimateSizeWithAttributes("short\nlines", &font), two); // reuse changes nothing
}

TEST_F(TextMeasurement, TextThatFitsIsUnchanged)
{
    for (auto mode : {ext::TruncateHead, ext::TruncateTail, ext::TruncateMiddle})
        EXPECT_EQ(ext::truncate(mode, "IMG_0001.JPG", 1000, dejaVuSans()), "IMG_0001.JPG");
}

TEST_F(TextMeasurement, TruncationFitsAndKeepsWholeGraphemes)
{
    const QString ellipsis(QChar(0x2026));
    const std::vector<std::string> texts = {
        "A very long picture name from the summer holidays 2009.jpg",
        // e + combining acute, a family emoji sequence, flags, Hangul jamo
        "Cafe\xCC\x81 cre\xCC\x80me bru\xCC\x82le\xCC\x81" "e "
        "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7 "
        "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7 \xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8 end",
    };
    const QFont font = dejaVuSans();
    for (const std::string& text : texts) {
        const std::vector<QString> original = graphemesOf(QString::fromStdString(text));
        const double full = QFontMetricsF(font).size(0, QString::fromStdString(text)).width();
        for (double share : {0.8, 0.5, 0.25}) {
            for (auto mode : {ext::TruncateHead, ext::TruncateTail, ext::TruncateMiddle}) {
                SCOPED_TRACE(text + " mode " + std::to_string(mode) + " share " + std::to_string(share));
                const double width = full * share;
                const QString result = QString::fromStdString(ext::truncate(mode, text, width, font));
                EXPECT_LE(QFontMetricsF(font).size(0, result).width(), width);

                // The result is whole graphemes of the text's start, one ellipsis, whole graphemes
                // of its end; which side is kept depends on the mode.
                const std::vector<QString> parts = graphemesOf(result);
                const auto dot = std::find(parts.begin(), parts.end(), ellipsis);
                ASSERT_NE(dot, parts.end());
                EXPECT_EQ(std::count(parts.begin(), parts.end(), ellipsis), 1);
                const std::vector<QString> before(parts.begin(), dot);
                const std::vector<QString> after(dot + 1, parts.end());
                ASSERT_LT(before.size() + after.size(), original.size());
                EXPECT_TRUE(std::equal(before.begin(), before.end(), original.begin()));
                EXPECT_TRUE(std::equal(after.rbegin(), after.rend(), original.rbegin()));
                if (mode == ext::TruncateTail) {
                    EXPECT_TRUE(after.empty());
                } else if (mode == ext::TruncateHead) {
                    EXPECT_TRUE(before.empty());
                } else {
                    EXPECT_FALSE(before.empty());
                    EXPECT_FALSE(after.empty());
                }
            }
        }
    }
}

TEST_F(TextMeasurement, TextThatCannotFitEndsAsOneGrapheme)
{
    EXPECT_EQ(ext::truncate(ext::TruncateTail, "Pictures", 0.5, dejaVuSans()), "\xE2\x80\xA6");
    EXPECT_EQ(ext::truncate(ext::TruncateMiddle, "Pictures", -3, dejaVuSans()), "\xE2\x80\xA6");
}

} // namespace
} // namespace vistel
