// The pasteboard over Qt's clipboard and drag data: type mapping, file names with awkward bytes,
// camera paths kept out of file URLs, and another X client reading a copy (xclip under Xvfb).

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>

#include <fstream>
#include <sstream>

#include "../../Common/Alert/AlertTestSupport.h"
#include "Platform/FilePaths.h"
#include "Platform/Gui/Pasteboard.h"
#include "TestSupport.h"

using namespace vistel;
using vistel::test::commandOutput;

namespace {

// Spaces, '%', '#' and bytes that are not UTF-8.
const std::vector<std::string> awkwardPaths {"/tmp/Holiday 2024/100% #1.jpg", "/tmp/\xe9t\xe9/caf\xc3\xa9 \xff.jpg"};

Value arrayOf(const std::vector<std::string>& paths)
{
    Value list = Value::array();
    for (const std::string& path : paths)
        list.append(path);
    return list;
}

std::vector<std::string> stringsOf(const std::optional<Value>& list)
{
    std::vector<std::string> out;
    if (list)
        for (const Value& entry : list->asArray())
            out.push_back(entry.toString());
    return out;
}

} // namespace

TEST(Pasteboard, FileURLsEncodeEveryByteOutsideTheUnreservedSet)
{
    struct Case {
        std::string path;
        std::string url;
    } cases[] = {
        {"/a b/c#d%e?.jpg", "file:///a%20b/c%23d%25e%3F.jpg"},
        {"/\xe9t\xe9/\xff", "file:///%E9t%E9/%FF"},
        {"/plain/File_1-2.~x", "file:///plain/File_1-2.~x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fileURLForPath(c.path), c.url);
        EXPECT_EQ(pathForFileURL(c.url), c.path);
    }
    EXPECT_EQ(pathForFileURL("file://localhost/x%2fy"), "/x/y");
    EXPECT_EQ(pathForFileURL("file://other-host/x"), std::nullopt);
    EXPECT_EQ(pathForFileURL("https://example.org/x"), std::nullopt);
    EXPECT_EQ(pathForFileURL("file:///trailing%2"), "/trailing%2");
}

TEST(Pasteboard, FileNamesOnTheClipboardInEveryForm)
{
    Ref<Pasteboard> general = Pasteboard::generalPasteboard();
    std::vector<std::string> paths = awkwardPaths;
    paths.push_back("ICA:/0x00a10000/DCIM 100/IMG_0001.JPG");
    general->declareTypes({NSFilenamesPboardType});
    ASSERT_TRUE(general->setPropertyList(arrayOf(paths), NSFilenamesPboardType));

    EXPECT_EQ(stringsOf(general->propertyListForType(NSFilenamesPboardType)), paths);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data);
    const std::string uris = data->data("text/uri-list").toStdString();
    EXPECT_EQ(uris, "file:///tmp/Holiday%202024/100%25%20%231.jpg\r\nfile:///tmp/%E9t%E9/caf%C3%A9%20%FF.jpg\r\n");
    EXPECT_EQ(uris.find("ICA"), std::string::npos); // camera paths are never file URLs
    EXPECT_EQ(data->data(Pasteboard::GnomeCopiedFilesMimeType).toStdString(),
              "copy\n" + fileURLForPath(awkwardPaths[0]) + "\n" + fileURLForPath(awkwardPaths[1]));
    const std::vector<std::string> types = general->types();
    EXPECT_NE(std::find(types.begin(), types.end(), NSFilenamesPboardType), types.end());
    EXPECT_NE(std::find(types.begin(), types.end(), NSURLPboardType), types.end());

    // Another program's copy: only a URI list; its local files are the names.
    auto* foreign = new QMimeData;
    foreign->setData("text/uri-list", "# comment\r\nfile:///a%20b.jpg\r\nhttps://example.org/x\r\nfile://localhost/c.jpg\r\n");
    QGuiApplication::clipboard()->setMimeData(foreign);
    EXPECT_EQ(stringsOf(general->propertyListForType(NSFilenamesPboardType)),
              (std::vector<std::string> {"/a b.jpg", "/c.jpg"}));
    EXPECT_EQ(general->stringForType(NSURLPboardType), "file:///a%20b.jpg");

    // Text and literal types.
    general->declareTypes({NSStringPboardType, "ZovPlacesListType"});
    general->setString("caf\xc3\xa9", NSStringPboardType);
    general->setData("<places/>", "ZovPlacesListType");
    EXPECT_EQ(general->stringForType(NSStringPboardType), "caf\xc3\xa9");
    EXPECT_EQ(general->dataForType("ZovPlacesListType"), "<places/>");
    EXPECT_FALSE(general->availableType(NSFilenamesPboardType));
}

TEST(Pasteboard, ForeignFileListsInEitherFormWithDotSegmentsResolved)
{
    Ref<Pasteboard> general = Pasteboard::generalPasteboard();
    struct Case {
        const char* what;
        const char* mimeType;
        const char* bytes;
        std::vector<std::string> names;
    } cases[] = {
        {"a file manager's copy", Pasteboard::GnomeCopiedFilesMimeType, "copy\nfile:///p/a.jpg\nfile:///p/b%20c.jpg",
         {"/p/a.jpg", "/p/b c.jpg"}},
        {"a file manager's cut", Pasteboard::GnomeCopiedFilesMimeType, "cut\nfile:///p/a.jpg\n", {"/p/a.jpg"}},
        {"no verb first", Pasteboard::GnomeCopiedFilesMimeType, "file:///p/a.jpg\n", {}},
        {"dot segments in a URI list", "text/uri-list", "file:///p/q/../a.jpg\r\nfile:///p/./x/..\r\n", {"/p/a.jpg", "/p"}},
        {"dot segments in a copy", Pasteboard::GnomeCopiedFilesMimeType, "copy\nfile:///p/q/%2E%2E/a.jpg", {"/p/a.jpg"}},
    };
    for (const Case& c : cases) {
        auto* foreign = new QMimeData;
        foreign->setData(c.mimeType, c.bytes);
        QGuiApplication::clipboard()->setMimeData(foreign);
        EXPECT_EQ(stringsOf(general->propertyListForType(NSFilenamesPboardType)), c.names) << c.what;
        EXPECT_EQ(general->availableType(NSFilenamesPboardType), !c.names.empty()) << c.what;
    }
}

TEST(Pasteboard, DragDataIsWrittenInPlace)
{
    QMimeData data;
    Ref<Pasteboard> drag = Pasteboard::pasteboardWithMimeData(&data);
    drag->declareTypes({NSFilenamesPboardType});
    drag->setPropertyList(arrayOf(awkwardPaths), NSFilenamesPboardType);
    EXPECT_TRUE(data.hasFormat("text/uri-list"));
    EXPECT_EQ(drag->mimeData(), &data);
    EXPECT_EQ(stringsOf(drag->propertyListForType(NSFilenamesPboardType)), awkwardPaths);
    // A drop from a file manager carries the URI list only.
    data.removeFormat(Pasteboard::FilenamesMimeType);
    EXPECT_EQ(stringsOf(drag->propertyListForType(NSFilenamesPboardType)), awkwardPaths);
}

// Run under Xvfb by the test below: copies two names and lets xclip read both forms.
TEST(Pasteboard, DISABLED_CopyReadByXclip)
{
    ASSERT_EQ(QGuiApplication::platformName().toStdString(), "xcb");
    Ref<Pasteboard> general = Pasteboard::generalPasteboard();
    general->declareTypes({NSFilenamesPboardType});
    ASSERT_TRUE(general->setPropertyList(arrayOf(awkwardPaths), NSFilenamesPboardType));
    auto readWithXclip = [](const char* type) {
        QProcess xclip;
        xclip.start("xclip", {"-o", "-selection", "clipboard", "-t", type});
        QElapsedTimer timer;
        timer.start();
        // The clipboard is served by this process's event loop while xclip waits.
        while (xclip.state() != QProcess::NotRunning && timer.elapsed() < 20000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            xclip.waitForFinished(5);
        }
        return xclip.readAllStandardOutput().toStdString();
    };
    auto decoded = [](const std::string& lines, bool gnome) {
        std::vector<std::string> paths;
        std::istringstream in(lines);
        std::string line;
        bool first = true;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (gnome && std::exchange(first, false)) {
                EXPECT_EQ(line, "copy");
                continue;
            }
            if (auto path = pathForFileURL(line))
                paths.push_back(*path);
        }
        return paths;
    };
    EXPECT_EQ(decoded(readWithXclip("text/uri-list"), false), awkwardPaths);
    EXPECT_EQ(decoded(readWithXclip("x-special/gnome-copied-files"), true), awkwardPaths);
}

TEST(Pasteboard, AnotherProcessReadsACopy)
{
    if (commandOutput("command -v xclip >/dev/null && test -x /usr/bin/xvfb-run && echo yes") != "yes")
        VISTEL_SKIP_UNAVAILABLE() << "xclip or xvfb-run is not installed";
    vistel::test::TemporaryFolder folder("vistel-xclip");
    const auto run = vistel::test::runTestUnderXvfb("Pasteboard.DISABLED_CopyReadByXclip", folder / "child.txt");
    ASSERT_TRUE(run.exitedZero) << run.output;
    EXPECT_NE(run.output.find("[  PASSED  ] 1 test"), std::string::npos) << run.output;
}
