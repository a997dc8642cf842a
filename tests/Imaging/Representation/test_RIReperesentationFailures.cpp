// Damaged and unreadable files through the representation and the codec plug-ins of this
// build: each failure writes one log line with the file name and the cause, the
// representation keeps the cause, and nothing crashes.
#include <gtest/gtest.h>

#include <QImage>

#include "Imaging/RIReperesentation.h"
#include "Platform/Imaging/ImageDestination.h"
#include "Platform/Log.h"

using namespace vistel;

namespace {

using Bytes = Value::Bytes;

Bytes encoded(const char* type, int width = 64, int height = 48)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb(x * 4, y * 5, (x ^ y) * 3));
    const Ref<ImageDestination> destination = ImageDestination::createWithData(type);
    if (!destination || !destination->addImage(PlatformImage::fromQImage(picture), Value::dictionary())
        || !destination->finalize())
        return {};
    return destination->data();
}

Bytes cut(Bytes bytes, std::size_t size)
{
    bytes.resize(std::min(size, bytes.size()));
    return bytes;
}

Bytes overwritten(Bytes bytes, std::size_t from, std::size_t to, std::uint8_t value)
{
    for (std::size_t i = from; i < to && i < bytes.size(); ++i)
        bytes[i] = value;
    return bytes;
}

// The JPEG with its frame header claiming `width` x `height`.
Bytes jpegClaiming(std::uint16_t width, std::uint16_t height)
{
    Bytes b = encoded("public.jpeg");
    for (std::size_t i = 2; i + 9 < b.size(); ++i) {
        if (b[i] == 0xFF && b[i + 1] == 0xC0) {
            b[i + 5] = std::uint8_t(height >> 8);
            b[i + 6] = std::uint8_t(height);
            b[i + 7] = std::uint8_t(width >> 8);
            b[i + 8] = std::uint8_t(width);
            break;
        }
    }
    return b;
}

// A BMP whose compression field names an embedded JPEG (4), which the codec does not read.
Bytes bmpWithJpegCompression()
{
    Bytes b = encoded("com.microsoft.bmp");
    if (b.size() > 34)
        b[30] = 4;
    return b;
}

// A JPEG carrying an XMP packet that declares a namespace of its own.
Bytes jpegWithCustomXmpNamespace()
{
    const std::string packet = "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>"
                               "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
                               "<rdf:Description rdf:about='' xmlns:vfx='http://example.com/vistel-fixture/1.0/'>"
                               "<vfx:Shelf>B4</vfx:Shelf></rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
    const std::string signature("http://ns.adobe.com/xap/1.0/\0", 29);
    const std::size_t length = 2 + signature.size() + packet.size();
    Bytes segment { 0xFF, 0xE1, std::uint8_t(length >> 8), std::uint8_t(length) };
    segment.insert(segment.end(), signature.begin(), signature.end());
    segment.insert(segment.end(), packet.begin(), packet.end());
    Bytes b = encoded("public.jpeg");
    b.insert(b.begin() + 2, segment.begin(), segment.end());
    return b;
}

class RIReperesentationFailures : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (RIReperesentation::imageUnfilteredTypes().empty())
            GTEST_SKIP() << "no codec plug-ins staged in this build";
    }
};

struct DamagedCase {
    const char* fileName;
    Bytes bytes;
    const char* action; // "open" or "decode"
    std::string cause;  // the start of the logged cause
};

} // namespace

TEST_F(RIReperesentationFailures, eachFailureLogsTheFileAndTheCause)
{
    const Bytes jpeg = encoded("public.jpeg");
    const Bytes png = encoded("public.png");
    const Bytes gif = encoded("com.compuserve.gif");
    ASSERT_GT(jpeg.size(), 600u);
    ASSERT_GT(png.size(), 200u);
    const std::string text = "Shopping list: bread, milk, film.\n";
    const std::vector<DamagedCase> cases = {
        { "empty.jpg", {}, "open", "empty file" },
        { "notes.jpg", Bytes(text.begin(), text.end()), "open", "not a picture" },
        { "header-overwritten.jpg", overwritten(jpeg, 0, 16, 0), "open", "not a picture" },
        { "cut-after-start.jpg", cut(jpeg, 4), "open", "truncated at byte 4" },
        { "cut-in-tables.jpg", cut(jpeg, 150), "open", "truncated at byte 150" },
        { "cut-in-scan.jpg", cut(jpeg, jpeg.size() * 3 / 4), "decode",
            "incomplete picture: truncated at byte " + std::to_string(jpeg.size() * 3 / 4) },
        { "huge.jpg", jpegClaiming(40000, 30000), "open", "too large: 40000 x 30000 pixels" },
        { "cut-in-header.png", cut(png, 30), "open", "truncated at byte 30" },
        { "cut-in-pixels.png", cut(png, png.size() - 40), "decode", "" },
        { "header-overwritten.png", overwritten(png, 16, 24, 0xFF), "open", "" },
        { "cut-in-header.gif", cut(gif, 10), "open", "truncated at byte 10" },
        { "jpeg-inside.bmp", bmpWithJpegCompression(), "open", "unsupported compression: 4" },
        { "cut.tif", cut(encoded("public.tiff"), 12), "open", "truncated at byte 12" },
    };
    for (const DamagedCase& c : cases) {
        SCOPED_TRACE(c.fileName);
        ScopedLogCapture log;
        const auto data = std::make_shared<const Bytes>(c.bytes);
        const Ref<RIReperesentation> rep = RIReperesentation::imageRepWithData(data, false, c.fileName);
        const std::string expectedStart = "RIReperesentation::" + std::string(c.action) + " " + c.fileName + ": " + c.cause;
        std::vector<std::string> lines; // the representation's own lines (exiv2's reader may add one)
        for (const std::string& line : log.lines())
            if (line.rfind("RIReperesentation::", 0) == 0)
                lines.push_back(line);
        ASSERT_EQ(lines.size(), 1u) << (lines.empty() ? "nothing logged" : lines.front());
        EXPECT_EQ(lines.front().rfind(expectedStart, 0), 0u) << lines.front();
        const std::string cause = lines.front().substr(lines.front().find(": ") + 2);
        EXPECT_FALSE(cause.empty());
        if (std::string(c.action) == "open") {
            EXPECT_FALSE(rep);
            EXPECT_EQ(RIReperesentation::lastOpenFailure(), cause);
        } else {
            ASSERT_TRUE(rep);
            EXPECT_EQ(rep->lastFailure(), cause);
        }
        std::printf("%-24s %s\n", c.fileName, lines.front().c_str());
    }
}

TEST_F(RIReperesentationFailures, aLazyDecodeFailureIsKeptByTheRepresentation)
{
    // The headers are whole; the pixel rows are gone.
    const Bytes bmp = encoded("com.microsoft.bmp");
    ASSERT_GT(bmp.size(), 14u);
    const std::size_t pixelsAt = std::size_t(bmp[10]) | std::size_t(bmp[11]) << 8;
    const Bytes headerOnly = cut(bmp, pixelsAt + 10);
    ScopedLogCapture log;
    const Ref<RIReperesentation> rep = RIReperesentation::imageRepWithData(headerOnly, true, "no-rows.bmp");
    ASSERT_TRUE(rep);
    EXPECT_TRUE(rep->lastFailure().empty());
    EXPECT_TRUE(RIReperesentation::lastOpenFailure().empty());
    EXPECT_FALSE(rep->cgImage());
    EXPECT_EQ(rep->lastFailure(), "truncated at byte " + std::to_string(headerOnly.size()));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines().front(), "RIReperesentation::decode no-rows.bmp: " + rep->lastFailure());
}

// Views ask for a file's picture at every redraw: a file that is not a picture is logged once,
// though every attempt still fails with its cause; another file says so in its own line.
TEST_F(RIReperesentationFailures, aFileThatCannotBeReadIsLoggedOnce)
{
    const std::string text = "Meeting notes, not a photograph.\n";
    const Bytes bytes(text.begin(), text.end());
    ScopedLogCapture log;
    for (int redraw = 0; redraw < 3; ++redraw) {
        EXPECT_FALSE(RIReperesentation::imageRepWithData(bytes, false, "/pictures/meeting-notes.txt"));
        EXPECT_EQ(RIReperesentation::lastOpenFailure(), "not a picture");
    }
    EXPECT_FALSE(RIReperesentation::imageRepWithData(bytes, false, "/pictures/more-notes.txt"));
    EXPECT_EQ(log.lines(), (std::vector<std::string> {
                               "RIReperesentation::open /pictures/meeting-notes.txt: not a picture",
                               "RIReperesentation::open /pictures/more-notes.txt: not a picture"}));
}

TEST_F(RIReperesentationFailures, aNamelessFailureNamesTheByteCount)
{
    ScopedLogCapture log;
    EXPECT_FALSE(RIReperesentation::imageRepWithData(Bytes { 'a', 'b', 'c' }));
    EXPECT_TRUE(log.contains("RIReperesentation::open (3 bytes): not a picture"));
}

// Reading a file whose XMP declares its own namespace registers it with exiv2's XMP state; that
// state is released when the process exits, so the sanitizer build's leak check of this test
// program stays quiet.
TEST_F(RIReperesentationFailures, aCustomXmpNamespaceOpensAndCloses)
{
    const Ref<RIReperesentation> rep = RIReperesentation::imageRepWithData(jpegWithCustomXmpNamespace());
    ASSERT_TRUE(rep);
    EXPECT_TRUE(rep->cgImage());
    EXPECT_TRUE(rep->lastFailure().empty());
}
