// What one conversion makes of a picture: turns, sizes, names, formats and their properties,
// checked with independent tools (ImageMagick, exiv2, libtiff's tiffinfo, OpenJPEG, poppler).

#include <gtest/gtest.h>

#include <cmath>

#include <QImage>

#include "ConversionTestSupport.h"
#include "Operations/ImageConversionRules.h"
#include "Operations/ImageConvertorJob.h"

namespace vistel {
namespace {

using test::quoted;
using test::run;

class ConversionJob : public testing::Test {
protected:
    Value convert(const std::vector<std::string>& inputs, Value options, const std::string& folder = {})
    {
        return test::runBatch(*engine, inputs, folder.empty() ? out : folder, options);
    }
    std::string in(const std::string& name) { return scratch / ("in/" + name); }

    void SetUp() override
    {
        ::mkdir((scratch / "in").c_str(), 0755);
        ::mkdir(out.c_str(), 0755);
    }

    test::ScratchFolder scratch;
    std::string out = scratch / "out";
    Ref<ImageConvertor> engine = ImageConvertor::create(2);
    test::ScopedResponder responder {[](const AlertRecord&) { return AlertResponse::pressButton(0); }};
};

TEST_F(ConversionJob, OrientationsAndTurnsMatchTheReference)
{
    // Every stored orientation, kept upright or turned a quarter either way: the pixels match
    // ImageMagick's upright picture turned the same way, and the written tag says 1.
    const struct {
        const char* name;
        std::optional<double> angle;
        const char* magick;
    } turns[] = {{"none", std::nullopt, ""}, {"right", 1.5707963267948966, "-rotate 90"}, {"left", -1.5707963267948966, "-rotate -90"}};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const std::string source = in(std::to_string(orientation) + ".jpg");
        ASSERT_TRUE(test::writeQuadrants(source, 64, 40, "public.jpeg", orientation));
        for (const auto& turn : turns) {
            SCOPED_TRACE(std::to_string(orientation) + " " + turn.name);
            const std::string folder = scratch / (std::string("out-") + turn.name);
            Value options = Value::dictionary({{"format", "public.jpeg"}, {"quality", 0.95}});
            if (turn.angle)
                options.set("rotate", *turn.angle);
            const Value last = convert({source}, options, folder);
            ASSERT_EQ(fileOperationStage(last), 3u);
            const std::string written = folder + "/" + std::to_string(orientation) + ".jpg";
            const std::string reference = scratch / "reference.png";
            run("convert " + quoted(source) + " -auto-orient " + turn.magick + " " + quoted(reference));
            const QImage mine(QString::fromStdString(written));
            const QImage theirs(QString::fromStdString(reference));
            ASSERT_FALSE(mine.isNull());
            ASSERT_EQ(mine.size(), theirs.size());
            const auto a = test::quadrantColors(mine), b = test::quadrantColors(theirs);
            for (int q = 0; q < 4; ++q)
                EXPECT_TRUE(test::near(a[std::size_t(q)], b[std::size_t(q)])) << "quadrant " << q;
            const std::string tag = run("exiv2 -q -K Exif.Image.Orientation -Pv " + quoted(written));
            EXPECT_EQ(tag, "1");
        }
    }
}

TEST_F(ConversionJob, BoxSizesTable)
{
    const struct {
        const char* what;
        int w, h, orientation;
        std::vector<double> box;
        int expectedW, expectedH;
    } cases[] = {
        {"portrait into a landscape box", 750, 1000, 0, {1024, 768}, 576, 768},
        {"box larger than the picture", 750, 1000, 0, {4000, 4000}, 750, 1000},
        {"empty box", 750, 1000, 0, {0, 0}, 750, 1000},
        {"stored landscape shown as a portrait", 1000, 750, 6, {1024, 768}, 576, 768},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = "box" + std::to_string(index++) + ".jpg";
        ASSERT_TRUE(test::writeQuadrants(in(name), c.w, c.h, "public.jpeg", c.orientation));
        const Value last = convert(
            {in(name)}, Value::dictionary({{"format", "public.jpeg"}, {"size", Value::array({c.box[0], c.box[1]})}}));
        ASSERT_EQ(fileOperationStage(last), 3u);
        EXPECT_EQ(run("identify -format '%wx%h' " + quoted(out + "/" + name)),
                  std::to_string(c.expectedW) + "x" + std::to_string(c.expectedH));
    }
}

TEST_F(ConversionJob, NamesOfConvertedFiles)
{
    ASSERT_TRUE(test::writeQuadrants(in("a.png"), 20, 20, "public.png"));
    ASSERT_TRUE(test::writeQuadrants(in("a.gif"), 20, 20, "com.compuserve.gif"));
    ASSERT_TRUE(test::writeQuadrants(in("photo.PNG"), 20, 20, "public.png"));
    ASSERT_EQ(fileOperationStage(convert({in("a.png"), in("a.gif"), in("photo.PNG")},
                                         Value::dictionary({{"format", "public.jpeg"}}))),
              3u);
    EXPECT_EQ(test::namesIn(out), (std::set<std::string> {"a.jpg", "a_gif.jpg", "photo.jpg"}));
    // A plain copy batch keeps names.
    const std::string copies = scratch / "copies";
    ASSERT_EQ(fileOperationStage(convert({in("a.png"), in("a.gif")}, Value::dictionary(), copies)), 3u);
    EXPECT_EQ(test::namesIn(copies), (std::set<std::string> {"a.png", "a.gif"}));
}

TEST_F(ConversionJob, PlannedNamesOfABatch)
{
    const auto planned = ImageConvertorPreflightJob::plannedOutputPaths(
        {"/i/a.png", "/i/a.gif", "/i/b.tif"}, {"/o/a.png", "/o/a.gif", "/o/b.tif"}, true);
    EXPECT_EQ(planned, (std::vector<std::string> {"/o/a.png", "/o/a_gif.gif", "/o/b.tif"}));
    EXPECT_EQ(ImageConvertorPreflightJob::plannedOutputPaths({"/i/a.png", "/i/a.gif"}, {"/o/a.png", "/o/a.gif"}, false),
              (std::vector<std::string> {"/o/a.png", "/o/a.gif"}));
}

TEST_F(ConversionJob, JPEGQualityResolutionAndNoThumbnail)
{
    // A picture with an EXIF thumbnail (made by exiv2) loses it once its pixels change; the
    // quality and a print-size rule's resolution are written.
    ASSERT_TRUE(test::writeQuadrants(in("t.jpg"), 400, 300, "public.jpeg", 1,
                                     Value::dictionary({{"{Exif}", Value::dictionary({{"UserComment", "x"}})}})));
    ASSERT_TRUE(test::writeQuadrants(scratch / "thumb.jpg", 40, 30));
    run("cp " + quoted(scratch / "thumb.jpg") + " " + quoted(scratch / "in/t-thumb.jpg") + " && exiv2 -q -it "
        + quoted(in("t.jpg")));
    ASSERT_NE(run("exiv2 -q -pt " + quoted(in("t.jpg")) + " | grep -c Exif.Thumbnail"), "0");
    const Value options = Value::dictionary({
        {"format", "public.jpeg"},
        {"quality", 0.8},
        {"resizeOperator", UnitsResizeOperator::create({50.8f, 50.8f}, 300, true, ImageResizeFitInside)},
    });
    ASSERT_EQ(fileOperationStage(convert({in("t.jpg")}, options)), 3u);
    const std::string written = out + "/t.jpg";
    EXPECT_EQ(run("identify -format '%Q' " + quoted(written)), "80");
    EXPECT_EQ(run("identify -format '%wx%h' " + quoted(written)), "600x450");
    EXPECT_EQ(run("identify -format '%x' -units PixelsPerInch " + quoted(written)).substr(0, 3), "300");
    EXPECT_EQ(run("exiv2 -q -pt " + quoted(written) + " | grep -c Exif.Thumbnail"), "0");
}

TEST_F(ConversionJob, TIFFGetsTheBoxTheTurnAndKeepsAlpha)
{
    ASSERT_TRUE(test::writeQuadrants(in("alpha.png"), 200, 100, "public.png", 0, Value::dictionary(), true));
    const Value options = Value::dictionary({
        {"format", "public.tiff"},
        {"compression", 5},
        {"size", Value::array({100, 100})},
        {"rotate", 1.5707963267948966},
    });
    ASSERT_EQ(fileOperationStage(convert({in("alpha.png")}, options)), 3u);
    const std::string written = out + "/alpha.tiff";
    const std::string info = run("tiffinfo " + quoted(written));
    EXPECT_NE(info.find("Image Width: 50 Image Length: 100"), std::string::npos) << info;
    EXPECT_NE(info.find("LZW"), std::string::npos) << info;
    EXPECT_NE(info.find("Extra Samples: 1"), std::string::npos) << info;
    // Turned right, the transparent top-left quadrant is now top right.
    const QImage image(QString::fromStdString(written));
    EXPECT_EQ(image.pixelColor(37, 25).alpha(), 0);
    EXPECT_EQ(image.pixelColor(12, 25).alpha(), 255);
}

TEST_F(ConversionJob, PNGKeepsResolutionAndAlpha)
{
    ASSERT_TRUE(test::writeQuadrants(in("p.png"), 64, 64, "public.png", 0,
                                     Value::dictionary({{"DPIWidth", 150.0}, {"DPIHeight", 150.0}}), true));
    ASSERT_EQ(fileOperationStage(convert({in("p.png")}, Value::dictionary({{"format", "public.png"}}))), 3u);
    const std::string written = out + "/p.png";
    EXPECT_EQ(run("identify -units PixelsPerInch -format '%x' " + quoted(written)).substr(0, 3), "150");
    EXPECT_EQ(QImage(QString::fromStdString(written)).pixelColor(5, 5).alpha(), 0);
}

TEST_F(ConversionJob, LosslessJPEG2000IsBitExact)
{
    ASSERT_TRUE(test::writeQuadrants(in("q.png"), 48, 32, "public.png"));
    ASSERT_EQ(fileOperationStage(convert({in("q.png")}, Value::dictionary({{"format", "public.jpeg-2000"}, {"quality", 1.0}}))),
              3u);
    const std::string written = out + "/q.jp2";
    const std::string decoded = scratch / "decoded.png";
    bool ok = false;
    run("opj_decompress -i " + quoted(written) + " -o " + quoted(decoded), &ok);
    ASSERT_TRUE(ok);
    const QImage source = QImage(QString::fromStdString(in("q.png"))).convertToFormat(QImage::Format_RGB32);
    const QImage back = QImage(QString::fromStdString(decoded)).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(back.size(), source.size());
    EXPECT_TRUE(back == source);
    // Below 1.0 the file is smaller than the lossless one.
    ASSERT_EQ(fileOperationStage(convert({in("q.png")}, Value::dictionary({{"format", "public.jpeg-2000"}, {"quality", 0.5}}),
                                         scratch / "lossy")),
              3u);
    EXPECT_LT(test::readFile(scratch / "lossy/q.jp2").size(), test::readFile(written).size());
}

TEST_F(ConversionJob, PDFPageHoldsTheUprightPicture)
{
    ASSERT_TRUE(test::writeQuadrants(in("d.jpg"), 400, 200, "public.jpeg", 6));
    const Value options = Value::dictionary({{"format", "com.adobe.pdf"}, {"size", Value::array({100, 100})}});
    ASSERT_EQ(fileOperationStage(convert({in("d.jpg")}, options)), 3u);
    const std::string written = out + "/d.pdf";
    EXPECT_NE(run("pdfinfo " + quoted(written)).find("50 x 100 pts"), std::string::npos)
        << run("pdfinfo " + quoted(written));
    run("pdftoppm -r 72 -png -singlefile " + quoted(written) + " " + quoted(scratch / "page"));
    run("convert " + quoted(in("d.jpg")) + " -auto-orient -resize 50x100! " + quoted(scratch / "reference.png"));
    const auto page = test::quadrantColors(QImage(QString::fromStdString(scratch / "page.png")));
    const auto reference = test::quadrantColors(QImage(QString::fromStdString(scratch / "reference.png")));
    for (int q = 0; q < 4; ++q)
        EXPECT_TRUE(test::near(page[std::size_t(q)], reference[std::size_t(q)])) << "quadrant " << q;
}

TEST_F(ConversionJob, EncryptedPDFNeedsItsPassword)
{
    ASSERT_TRUE(test::writeQuadrants(in("e.jpg"), 40, 40));
    const Value options = Value::dictionary(
        {{"format", "com.adobe.pdf"}, {"encrypt", true}, {"password", "s3cret"}});
    ASSERT_EQ(fileOperationStage(convert({in("e.jpg")}, options)), 3u);
    const std::string written = out + "/e.pdf";
    bool opened = true;
    run("pdftoppm -png -singlefile " + quoted(written) + " " + quoted(scratch / "nopw"), &opened);
    EXPECT_FALSE(opened);
    run("pdftoppm -upw s3cret -png -singlefile " + quoted(written) + " " + quoted(scratch / "user"), &opened);
    EXPECT_TRUE(opened);
    run("pdfinfo -opw s3cret " + quoted(written), &opened);
    EXPECT_TRUE(opened);
    // Without "encrypt" the password is not used.
    const std::string plain = scratch / "plain";
    ASSERT_EQ(fileOperationStage(convert({in("e.jpg")}, Value::dictionary({{"format", "com.adobe.pdf"}, {"password", "x"}}), plain)),
              3u);
    run("pdfinfo " + quoted(plain + "/e.pdf"), &opened);
    EXPECT_TRUE(opened);
}

TEST(ConversionHelpers, FatSafeNamesTable)
{
    const struct {
        std::string name, expected;
    } cases[] = {
        {"12:30:05 shot.jpg", "12_30_05 shot.jpg"},
        {"a\"b*c<d>e?f\\g|h.png", "a_b_c_d_e_f_g_h.png"},
        {std::string("tab\there.jpg"), "tab_here.jpg"},
        {"name. .jpg", "name. .jpg"},
        {"ends in dots...", "ends in dots"},
        {"CON.jpg", "CON_.jpg"},
        {"com7.txt", "com7_.txt"},
        {"lpt1", "lpt1_"},
        {"console.jpg", "console.jpg"},
        {std::string(300, 'x') + ".jpg", std::string(251, 'x') + ".jpg"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fatSafeFileName(c.name), c.expected) << c.name;
    // Cut at a character boundary by UTF-16 units: 200 "é" (one unit, two bytes each) fit.
    std::string accents;
    for (int i = 0; i < 300; ++i)
        accents += "\xC3\xA9";
    const std::string cut = fatSafeFileName(accents + ".jpg");
    EXPECT_EQ(cut.size(), 251u * 2 + 4);
}

TEST(ConversionHelpers, OutputExtensions)
{
    EXPECT_EQ(outputExtensionForType("public.jpeg"), "jpg");
    EXPECT_EQ(outputExtensionForType("public.png"), "png");
    EXPECT_EQ(outputExtensionForType("public.jpeg-2000"), "jp2");
    EXPECT_EQ(outputExtensionForType("com.adobe.pdf"), "pdf");
}

} // namespace
} // namespace vistel
