// Printing to PDF: five test-made photos (one turned by EXIF orientation 6, one portrait) on the
// 4-up layout. The pages are the real A4 and US Letter pages, each page rendered back by
// pdftoppm matches the preview's own painting of that page, the turned photo prints upright,
// and a file that cannot be decoded leaves its slot empty while the rest prints.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPrinter>

#include <filesystem>
#include <fstream>
#include <regex>

#include "../ShellTestSupport.h"
#include "Application/Printing/PaperInfo.h"
#include "Application/Printing/PrintLayoutList.h"
#include "Application/Printing/PrintPreview.h"
#include "BrowseTestSupport.h"
#include "CatalogueTestSupport.h"
#include "ExifFixtures.h"
#include "Platform/Imaging/MultiImage.h"
#include "Platform/Imaging/PlatformImage.h"
#include "Preferences/Preferences.h"
#include "TestSupport.h"

namespace vistel::test {
namespace {

const bool privateFolders = usePrivateShellFolders();

// Quadrant colours of every test photo, as it should look upright.
const QColor quadrants[4] = {Qt::red, Qt::green, Qt::blue, Qt::yellow}; // top-left, top-right, bottom-left, bottom-right

QImage uprightPhoto(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    const int w = size.width() / 2, h = size.height() / 2;
    painter.fillRect(0, 0, w, h, quadrants[0]);
    painter.fillRect(w, 0, size.width() - w, h, quadrants[1]);
    painter.fillRect(0, h, w, size.height() - h, quadrants[2]);
    painter.fillRect(w, h, size.width() - w, size.height() - h, quadrants[3]);
    return image;
}

std::vector<std::uint8_t> jpegBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 95);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

void write(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

double meanDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int column = 0; column < x.width(); ++column) {
            const QRgb p = x.pixel(column, row), q = y.pixel(column, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * x.width() * x.height());
}

bool near(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) < 60 && std::abs(a.green() - b.green()) < 60 && std::abs(a.blue() - b.blue()) < 60;
}

class PrintOutputTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        CatalogueTest::SetUp();
        openCatalogue();
        Preferences::sharedPreferences().setValue(Value(false), prefs::PrintingCrop);
        Preferences::sharedPreferences().setValue(Value(false), prefs::PrintingAutorotate);
        // Five photos: landscape ones, a portrait one and one stored turned with orientation 6.
        const QSize sizes[] = {{480, 320}, {480, 320}, {320, 480}, {480, 320}, {480, 320}};
        for (int i = 0; i < 5; ++i) {
            const std::string path = folder_.path() + "/photo" + std::to_string(i) + ".jpg";
            if (i == 1) {
                // Stored a quarter turn anticlockwise: orientation 6 turns it back.
                const QImage stored = uprightPhoto(sizes[i]).transformed(QTransform().rotate(-90));
                write(path, withApp1(jpegBytes(stored), kExifHeader, tiffBytes(true, {{TiffField(0x0112, 3, {6})}})));
            } else {
                write(path, jpegBytes(uprightPhoto(sizes[i])));
            }
            pictures_.push_back(catalogueItemAt(*database_, path, true));
        }
        ASSERT_EQ(list_.loadLayoutsFromXML(), 0);
        for (const Ref<ZOVPrintLayout>& layout : list_.allLayouts())
            if (layout->layoutCaption() == "4-up")
                fourUp_ = layout;
        ASSERT_TRUE(fourUp_);
        preview_.setPicturesArray(pictures_);
        preview_.setPrintLayout(fourUp_.get());
    }

    // Prints to a PDF file and answers its path.
    std::string printToPDF(QSizeF paper, const std::string& name)
    {
        const std::string path = folder_.path() + "/" + name;
        preview_.setDocumentSize(paper);
        QPrinter printer(QPrinter::ScreenResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(path));
        EXPECT_TRUE(preview_.printToPrinter(printer));
        return path;
    }
    // "Pages" and the first "Page size" pdfinfo reports.
    static std::pair<int, QSizeF> pdfPages(const std::string& pdf)
    {
        const std::string info = commandOutput("pdfinfo " + shellQuoted(pdf));
        std::smatch pages, size;
        std::regex_search(info, pages, std::regex(R"(Pages:\s+(\d+))"));
        std::regex_search(info, size, std::regex(R"(Page size:\s+([\d.]+) x ([\d.]+) pts)"));
        if (pages.empty() || size.empty())
            return {0, {}};
        return {std::stoi(pages[1]), QSizeF(std::stod(size[1]), std::stod(size[2]))};
    }
    // Page `page` (1-based) rendered by pdftoppm at 40 dpi.
    QImage renderedPage(const std::string& pdf, int page)
    {
        const std::string prefix = folder_.path() + "/page";
        std::system(("pdftoppm -r 40 -png -f " + std::to_string(page) + " -l " + std::to_string(page) + " -singlefile "
                     + shellQuoted(pdf) + " " + shellQuoted(prefix)).c_str());
        return QImage(QString::fromStdString(prefix + ".png"));
    }
    // The preview's painting of a page at a size.
    QImage previewPage(int page, QSize size)
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::gray);
        QPainter painter(&image);
        preview_.paintPage(painter, QRectF(QPointF(), QSizeF(size)), page, PrintPreview::PictureSource::Print);
        return image;
    }
    // The device rectangle the slot's picture of `size` takes on a page image.
    QRectF drawnRect(std::size_t slot, QSize page, QSizeF picture)
    {
        const Ref<ZOVLayoutImage> image = fourUp_->imageAtIndex(slot);
        const DrawAttributes attributes = preview_.drawAttributes();
        const QRectF pageRect {QPointF(), QSizeF(page)};
        const QRectF canvas {QPointF(), preview_.sheetSize()};
        const QSizeF drawn = image->drawnSize(pageRect, canvas, attributes, picture);
        const QPointF centre = image->deviceRect(pageRect, canvas, attributes).center();
        return QRectF(centre - QPointF(drawn.width() / 2, drawn.height() / 2), drawn);
    }
    // The four quadrant colours of a drawn picture, probed at the centres of its quarters.
    static std::vector<QColor> probe(const QImage& page, const QRectF& drawn)
    {
        std::vector<QColor> colours;
        for (double fy : {0.25, 0.75})
            for (double fx : {0.25, 0.75})
                colours.push_back(page.pixelColor(QPoint(int(drawn.x() + fx * drawn.width()), int(drawn.y() + fy * drawn.height()))));
        return colours;
    }

    PrintLayoutList list_;
    PrintPreview preview_;
    Ref<ZOVPrintLayout> fourUp_;
    std::vector<Ref<FileSystemItemMO>> pictures_;
};

TEST_F(PrintOutputTest, FivePhotosOnFourUpPrintTwoRealPagesThatMatchThePreview)
{
    if (std::system("command -v pdfinfo >/dev/null && command -v pdftoppm >/dev/null") != 0)
        VISTEL_SKIP_UNAVAILABLE() << "pdfinfo and pdftoppm (poppler-utils) are not installed";
    struct Case {
        const char* name;
        QSizeF paper;
        QSizeF points;
    } cases[] = {{"a4.pdf", {8.3f, 11.7f}, {595.28, 841.89}}, {"letter.pdf", {8.5f, 11.0f}, {612, 792}}};
    for (const Case& c : cases) {
        const std::string pdf = printToPDF(c.paper, c.name);
        const auto [pages, size] = pdfPages(pdf);
        EXPECT_EQ(pages, 2) << c.name;
        EXPECT_NEAR(size.width(), c.points.width(), 0.5) << c.name;
        EXPECT_NEAR(size.height(), c.points.height(), 0.5) << c.name;
        for (int page = 1; page <= 2; ++page) {
            const QImage printed = renderedPage(pdf, page);
            ASSERT_FALSE(printed.isNull()) << c.name << " page " << page;
            const QImage painted = previewPage(page - 1, printed.size());
            printed.save(QString::fromStdString(folder_.path() + "/" + c.name + std::to_string(page) + ".png"));
            EXPECT_LT(meanDifference(printed, painted), 4.0) << c.name << " page " << page;
        }
    }
    // Every photo prints upright, the one turned by its orientation included.
    const std::string pdf = printToPDF({8.3f, 11.7f}, "upright.pdf");
    const QImage first = renderedPage(pdf, 1);
    const QSizeF uprightSizes[] = {{480, 320}, {480, 320}, {320, 480}, {480, 320}};
    for (std::size_t slot = 0; slot < 4; ++slot) {
        const std::vector<QColor> colours = probe(first, drawnRect(slot, first.size(), uprightSizes[slot]));
        for (int q = 0; q < 4; ++q)
            EXPECT_TRUE(near(colours[q], quadrants[q])) << "slot " << slot << " quadrant " << q << ": " << colours[q].name().toStdString();
    }
}

TEST_F(PrintOutputTest, AnUndecodableFileLeavesItsSlotEmptyAndTheRestPrints)
{
    if (std::system("command -v pdftoppm >/dev/null") != 0)
        VISTEL_SKIP_UNAVAILABLE() << "pdftoppm (poppler-utils) is not installed";
    const std::string broken = folder_.path() + "/broken.jpg";
    std::ofstream(broken) << "not a picture at all";
    pictures_.insert(pictures_.begin() + 1, catalogueItemAt(*database_, broken, true));
    preview_.setPicturesArray(pictures_);
    EXPECT_EQ(preview_.pageCount(), 2);
    const std::string pdf = printToPDF({8.3f, 11.7f}, "broken.pdf");
    const QImage first = renderedPage(pdf, 1);
    ASSERT_FALSE(first.isNull());
    const QRectF slot = fourUp_->imageAtIndex(1)->deviceRect(QRectF(QPointF(), QSizeF(first.size())), QRectF(QPointF(), preview_.sheetSize()),
                                                              preview_.drawAttributes());
    EXPECT_EQ(first.pixelColor(slot.center().toPoint()), QColor(Qt::white));
    // The pictures before and after it are there.
    EXPECT_TRUE(near(probe(first, drawnRect(0, first.size(), {480, 320}))[0], quadrants[0]));
    EXPECT_TRUE(near(probe(first, drawnRect(2, first.size(), {480, 320}))[3], quadrants[3]));
    EXPECT_FALSE(renderedPage(pdf, 2).isNull());
}

TEST_F(PrintOutputTest, TheViewShowsEachPicturesLargeThumbnail)
{
    // Thumbnails of one colour each, so the page tells which one each slot shows.
    const QColor colours[] = {Qt::cyan, Qt::magenta, Qt::darkGreen, Qt::darkRed, Qt::black};
    for (std::size_t i = 0; i < pictures_.size(); ++i) {
        QImage thumbnail(i == 2 ? QSize(80, 120) : QSize(120, 80), QImage::Format_RGB32);
        thumbnail.fill(colours[i]);
        pictures_[i]->setThumbnailImageLarge(MultiImage::createWithPlatformImage(PlatformImage::fromQImage(thumbnail)));
    }
    preview_.setDocumentSize({8.3f, 11.7f});
    preview_.resize(400, 500);
    const QRectF sheet = preview_.sheetRect();
    ASSERT_FALSE(sheet.isEmpty());
    const QImage shown = preview_.grab().toImage();
    const QRectF canvas {QPointF(), preview_.sheetSize()};
    for (std::size_t slot = 0; slot < 4; ++slot) {
        const QRectF rect = fourUp_->imageAtIndex(slot)->deviceRect(sheet, canvas, preview_.drawAttributes());
        EXPECT_EQ(shown.pixelColor(rect.center().toPoint()), colours[slot]) << "slot " << slot;
    }
    preview_.nextPage();
    const QImage second = preview_.grab().toImage();
    const QRectF rect = fourUp_->imageAtIndex(0)->deviceRect(sheet, canvas, preview_.drawAttributes());
    EXPECT_EQ(second.pixelColor(rect.center().toPoint()), colours[4]);
}

TEST(PrintPage, PapersSnapToTheStandardPageWithinAFiftiethOfAnInchInEitherOrientation)
{
    struct Case {
        QSizeF inches;
        QPageSize::PageSizeId id;
        QPageLayout::Orientation orientation;
    } cases[] = {
        {{8.3f, 11.7f}, QPageSize::A4, QPageLayout::Portrait},
        {{8.5f, 11.0f}, QPageSize::Letter, QPageLayout::Portrait},
        {{17.0f, 11.0f}, QPageSize::Tabloid, QPageLayout::Landscape}, // the 11 x 17 sheet, turned
        {{0, 0}, QPageSize::A4, QPageLayout::Portrait},
        {{5.0f, 5.0f}, QPageSize::Custom, QPageLayout::Portrait},
    };
    for (const Case& c : cases) {
        const QPageLayout layout = pageLayoutForDocumentSize(c.inches);
        EXPECT_EQ(layout.pageSize().id(), c.id) << c.inches.width() << " x " << c.inches.height();
        EXPECT_EQ(layout.orientation(), c.orientation) << c.inches.width();
        EXPECT_EQ(layout.margins(), QMarginsF());
        EXPECT_NEAR(layout.fullRect(QPageLayout::Inch).width(), c.inches.width() ? c.inches.width() : 8.27, 0.05);
    }
    EXPECT_EQ(pageLayoutForDocumentSize({5.0f, 5.0f}).pageSize().size(QPageSize::Inch), QSizeF(5, 5));
}

} // namespace
} // namespace vistel::test
