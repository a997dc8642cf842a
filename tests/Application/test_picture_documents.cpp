// Picture windows: one document per file, the window at once and the picture decoded on a
// worker at the window's size, upright whatever its orientation, best fit and zoom, printing
// the whole picture on one page, the open panel's types, and failures by kind.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QImage>
#include <QListView>
#include <QPrinter>
#include <QScreen>
#include <QScrollArea>

#include "Application/ApplicationDocController.h"
#include "Application/RIDocument.h"
#include "CustomizePalette.h"
#include "ExifFixtures.h"
#include "Platform/Gui/View.h"
#include "Platform/RunLoop.h"
#include "Platform/Gui/Window.h"
#include "Platform/Gui/WindowFrameAutosave.h"
#include "Platform/Gui/WindowToolbar.h"
#include "Platform/UserDefaults.h"
#include "ShellTestSupport.h"
#include "TestSupport.h"

using namespace vistel;

namespace {

const bool privateFolders = test::usePrivateShellFolders();

// A JPEG twice as wide as high (40 x 20 unless told), red on the left half and blue on the
// right, with an EXIF orientation.
std::string writePicture(const std::string& path, unsigned orientation, int height = 20)
{
    QImage image(2 * height, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < height; ++x)
            image.setPixelColor(x, y, Qt::red);
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 95);
    const std::vector<std::uint8_t> jpeg(encoded.begin(), encoded.end());
    const auto exif = test::tiffBytes(false, {{test::TiffField {0x0112, 3, {orientation}, {}, {}}}});
    const std::vector<std::uint8_t> file = test::withApp1(jpeg, test::kExifHeader, exif);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    return path;
}

// The picture window's tool bar.
WindowToolbar* toolbarOf(Document* document)
{
    return document && document->firstWindow() ? document->firstWindow()->findChild<WindowToolbar*>() : nullptr;
}

// Closes the document and waits for its window to go.
void closeAndWait(Document* document)
{
    QPointer<Window> window = document->firstWindow();
    document->close();
    const auto deadline = RunLoop::Clock::now() + std::chrono::seconds(2);
    while (window && RunLoop::Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool isReddish(QColor c) { return c.red() > 180 && c.blue() < 90 && c.green() < 90; }
bool isBluish(QColor c) { return c.blue() > 180 && c.red() < 90 && c.green() < 90; }
bool isGreenish(QColor c) { return c.green() > 180 && c.red() < 90 && c.blue() < 90; }

// Runs the main loop until the document's decodes have arrived (at most 10 s).
bool waitForPicture(RIDocument* document)
{
    const auto deadline = RunLoop::Clock::now() + std::chrono::seconds(10);
    while (document->isDecoding() && RunLoop::Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return !document->isDecoding();
}

// A JPEG of 2h x h stored pixels: red on the left half, blue on the right, and a green square in
// the top-left corner, with orientation 6: upright it is h x 2h, red above blue, the green square
// top right (a mirrored picture would have it top left).
std::string writeCornerPicture(const std::string& path, int height)
{
    QImage image(2 * height, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < height; ++x)
            image.setPixelColor(x, y, x < height / 2 && y < height / 2 ? Qt::green : Qt::red);
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    const std::vector<std::uint8_t> jpeg(encoded.begin(), encoded.end());
    const auto exif = test::tiffBytes(false, {{test::TiffField {0x0112, 3, {6}, {}, {}}}});
    const std::vector<std::uint8_t> file = test::withApp1(jpeg, test::kExifHeader, exif);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    return path;
}

// Holds every picture decode until released (or the gate goes).
class DecodeGate {
public:
    DecodeGate()
    {
        RIDocument::setDecodeHookForTesting([this] {
            std::unique_lock lock(mutex_);
            ++waiting_;
            ++inside_;
            changed_.notify_all();
            changed_.wait(lock, [this] { return open_; });
            --inside_;
            changed_.notify_all();
        });
    }
    // No new decode enters; those inside have left before the gate goes (a decode woken by the
    // release would otherwise look at the gate after it went).
    ~DecodeGate()
    {
        RIDocument::setDecodeHookForTesting({});
        release();
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return inside_ == 0; });
    }
    void release()
    {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    // Whether a decode reached the gate within two seconds.
    bool decodeWaits()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(2), [this] { return waiting_ > 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int waiting_ = 0;
    int inside_ = 0;
    bool open_ = false;
};

} // namespace

TEST(PictureDocumentTest, OrientationSixOpensUprightAndTheSameFileOpensOnce)
{
    ASSERT_TRUE(privateFolders);
    test::TemporaryFolder folder;
    const std::string path = writePicture(folder / "IMG_0001.JPG", 6);
    ApplicationDocController& controller = ApplicationDocController::shared();
    ErrorRecord error;
    Document* document = controller.openDocumentWithContentsOfFile(path, true, &error);
    ASSERT_NE(document, nullptr) << error.description();
    auto* picture = dynamic_cast<RIDocument*>(document);
    ASSERT_NE(picture, nullptr);
    ASSERT_TRUE(waitForPicture(picture));
    // Turned a quarter clockwise: 20 wide, 40 high, the left half now on top.
    ASSERT_EQ(picture->image().size(), QSize(20, 40));
    EXPECT_TRUE(isReddish(picture->image().pixelColor(10, 8)));
    EXPECT_TRUE(isBluish(picture->image().pixelColor(10, 32)));

    EXPECT_EQ(controller.openDocumentWithContentsOfFile(folder / "./IMG_0001.JPG", true), document);
    EXPECT_EQ(controller.documents().size(), 1u);

    // Closing its window closes the document.
    document->firstWindow()->close();
    const auto deadline = RunLoop::Clock::now() + std::chrono::seconds(2);
    while (!controller.documents().empty() && RunLoop::Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(controller.documents().empty());
}

TEST(PictureDocumentTest, BestFitNeverEnlargesAndFollowsTheWindowUntilAZoom)
{
    test::TemporaryFolder folder;
    auto* document = dynamic_cast<RIDocument*>(
        ApplicationDocController::shared().openDocumentWithContentsOfFile(writePicture(folder / "small.jpg", 1, 200), true));
    ASSERT_NE(document, nullptr);
    Window* window = document->firstWindow();
    window->resize(500, 400);
    QCoreApplication::processEvents();
    ASSERT_TRUE(waitForPicture(document));
    NSImageViewWithGreyBack* view = document->documentView();
    EXPECT_TRUE(document->isBestFit());
    EXPECT_DOUBLE_EQ(View::scalePercent(view), 100.0); // smaller than the window: 100 %, centred
    EXPECT_EQ(view->size(), view->parentWidget()->size());
    // Light grey around the picture.
    const QImage shown = view->grab().toImage();
    EXPECT_EQ(shown.pixelColor(2, 2), QColor(170, 170, 170));

    document->zoomIn();
    EXPECT_FALSE(document->isBestFit());
    EXPECT_NEAR(View::scalePercent(view), 110.0, 1e-9);
    document->zoomOut();
    EXPECT_NEAR(View::scalePercent(view), 100.0, 1e-9);
    window->resize(250, 250); // smaller than the picture: no refit after a zoom
    QCoreApplication::processEvents();
    EXPECT_NEAR(View::scalePercent(view), 100.0, 1e-9);
    document->bestFitAction();
    EXPECT_LT(View::scalePercent(view), 100.0);
    document->close();
}

TEST(PictureDocumentTest, PrintingGivesOnePageOfTheWholePicture)
{
    if (test::commandOutput("command -v pdfinfo").empty() || test::commandOutput("command -v pdfimages").empty())
        VISTEL_SKIP_UNAVAILABLE() << "pdfinfo and pdfimages (poppler-utils) are not installed";
    test::TemporaryFolder folder;
    // Larger than the screen: the window shows a reduced decode.
    auto* document = dynamic_cast<RIDocument*>(ApplicationDocController::shared().openDocumentWithContentsOfFile(
        writeCornerPicture(folder / "print.jpg", 1200), true));
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(waitForPicture(document));
    ASSERT_LT(document->image().height(), 2400);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(folder / "out.pdf"));
    ASSERT_TRUE(document->printToPrinter(printer));
    const std::string info = test::commandOutput("pdfinfo " + test::shellQuoted(folder / "out.pdf"));
    const std::size_t pages = info.find("Pages:");
    ASSERT_NE(pages, std::string::npos) << info;
    EXPECT_EQ(std::stoi(info.substr(pages + 6)), 1) << info;
    // The page holds the picture at its own upright size: "page num type width height ...".
    const std::string images = test::commandOutput("pdfimages -list " + test::shellQuoted(folder / "out.pdf"));
    std::istringstream lines(images);
    std::vector<QSize> sizes;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string page, number, type;
        int width = 0, height = 0;
        if (fields >> page >> number >> type >> width >> height && type == "image")
            sizes.emplace_back(width, height);
    }
    EXPECT_EQ(sizes, std::vector<QSize> {QSize(1200, 2400)}) << images;
    closeAndWait(document);
}

TEST(PictureDocumentTest, TheWindowShowsAtOnceAndThePictureArrivesUprightAtTheWindowsSize)
{
    ASSERT_TRUE(privateFolders);
    test::TemporaryFolder folder;
    UserDefaults::standard().removeObjectForKey(WindowFrameAutosave::defaultsKey(RIDocument::FrameAutosaveName));
    const std::string path = writeCornerPicture(folder / "IMG_0002.JPG", 1600);
    DecodeGate gate;
    auto* document = dynamic_cast<RIDocument*>(ApplicationDocController::shared().openDocumentWithContentsOfFile(path, true));
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(gate.decodeWaits());
    // Shown, sized for the upright picture, grey while the decode is held.
    Window* window = document->firstWindow();
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(document->pictureSize(), QSize(1600, 3200));
    EXPECT_TRUE(document->isDecoding());
    EXPECT_TRUE(document->image().isNull());
    NSImageViewWithGreyBack* view = document->documentView();
    const QImage waiting = view->grab().toImage();
    EXPECT_EQ(waiting.pixelColor(waiting.width() / 2, waiting.height() / 2), QColor(170, 170, 170));

    gate.release();
    ASSERT_TRUE(waitForPicture(document));
    // Reduced to the eighth of the picture that covers what the window shows.
    const QImage& image = document->image();
    const double shown = 3200 * View::scalePercent(view) / 100;
    EXPECT_LT(image.height(), 3200);
    EXPECT_GE(image.height(), shown);
    EXPECT_EQ(image.height() % 400, 0) << image.height();
    EXPECT_EQ(image.width() * 2, image.height());
    struct Probe {
        double x, y;
        bool (*colour)(QColor);
    } probes[] = {{0.75, 0.1, isGreenish}, {0.25, 0.1, isReddish}, {0.25, 0.4, isReddish}, {0.5, 0.75, isBluish}};
    QCoreApplication::processEvents();
    const QImage drawn = view->grab().toImage();
    const double scale = View::scalePercent(view) / 100;
    const QPointF origin((view->width() - 1600 * scale) / 2, (view->height() - 3200 * scale) / 2);
    for (const Probe& probe : probes) {
        SCOPED_TRACE(testing::Message() << probe.x << ", " << probe.y);
        EXPECT_TRUE(probe.colour(image.pixelColor(int(probe.x * image.width()), int(probe.y * image.height()))));
        const QPointF at = origin + QPointF(probe.x * 1600 * scale, probe.y * 3200 * scale);
        EXPECT_TRUE(probe.colour(drawn.pixelColor(at.toPoint())));
    }

    // Zoomed past the decoded pixels: more are decoded, the whole picture from 100 % on.
    const int reduced = image.height();
    while (3200 * View::scalePercent(view) / 100 <= reduced)
        document->zoomIn();
    ASSERT_TRUE(waitForPicture(document));
    EXPECT_GE(document->image().height(), 3200 * View::scalePercent(view) / 100);
    while (View::scalePercent(view) < 100)
        document->zoomIn();
    ASSERT_TRUE(waitForPicture(document));
    EXPECT_EQ(document->image().size(), QSize(1600, 3200));
    EXPECT_TRUE(isGreenish(document->image().pixelColor(1200, 300)));
    closeAndWait(document);
}

TEST(PictureDocumentTest, AWindowClosedBeforeItsPictureArrivesGoesQuietly)
{
    test::TemporaryFolder folder;
    ApplicationDocController& controller = ApplicationDocController::shared();
    {
        DecodeGate gate;
        Document* document = controller.openDocumentWithContentsOfFile(writeCornerPicture(folder / "c.jpg", 800), true);
        ASSERT_NE(document, nullptr);
        ASSERT_TRUE(gate.decodeWaits());
        document->firstWindow()->close();
        const auto deadline = RunLoop::Clock::now() + std::chrono::seconds(2);
        while (!controller.documents().empty() && RunLoop::Clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_TRUE(controller.documents().empty());
    } // the decode goes on after the document has gone
    const auto deadline = RunLoop::Clock::now() + std::chrono::seconds(10);
    while (RIDocument::decodesInFlight() > 0 && RunLoop::Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(RIDocument::decodesInFlight(), 0);
    EXPECT_TRUE(controller.documents().empty());
}

TEST(PictureDocumentTest, APictureThatFailsToDecodeClosesItsWindowAsAFailedOpenDid)
{
    test::TemporaryFolder folder;
    // A readable header whose picture names a quantisation table the file lacks: the decoder
    // gives up at the first row.
    std::string bytes;
    {
        std::ifstream in(writePicture(folder / "good.jpg", 1, 40), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::size_t sof = bytes.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    bytes[sof + 12] = 3; // the first component's table
    std::ofstream(folder / "bad.jpg", std::ios::binary) << bytes;
    ApplicationDocController& controller = ApplicationDocController::shared();
    ASSERT_EQ(controller.typeForContentsOfFile(folder / "bad.jpg"), "public.jpeg");

    test::ScriptedAlerts alerts;
    ErrorRecord error;
    auto* document = dynamic_cast<RIDocument*>(controller.openDocumentWithContentsOfFile(folder / "bad.jpg", true, &error));
    ASSERT_NE(document, nullptr);
    QPointer<Window> window = document->firstWindow();
    const auto deadline = RunLoop::Clock::now() + std::chrono::seconds(10);
    while ((window || !controller.documents().empty()) && RunLoop::Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(window);
    EXPECT_TRUE(controller.documents().empty());
    // A readable file that is no picture is not told, as before the window showed.
    EXPECT_TRUE(alerts.messages.empty());
}

TEST(PictureDocumentTest, FailuresAreSilentForNonPicturesAndToldForUnreadableFiles)
{
    test::TemporaryFolder folder;
    std::ofstream(folder / "notes.txt") << "not a picture";
    ErrorRecord error;
    EXPECT_EQ(ApplicationDocController::shared().openDocumentWithContentsOfFile(folder / "notes.txt", true, &error),
              nullptr);
    EXPECT_EQ(error.code, NSUserCancelledError);
    // A folder or a FIFO is no picture either; nothing blocks on the FIFO.
    std::filesystem::create_directory(folder / "folder.jpg");
    ASSERT_EQ(::mkfifo((folder / "fifo.jpg").c_str(), 0600), 0);
    for (const char* name : {"folder.jpg", "fifo.jpg"}) {
        EXPECT_EQ(ApplicationDocController::shared().openDocumentWithContentsOfFile(folder / name, true, &error), nullptr);
        EXPECT_EQ(error.code, NSUserCancelledError) << name;
    }
    {
        test::ScriptedAlerts alerts;
        EXPECT_FALSE(DocumentController::presentError(error));
        EXPECT_TRUE(alerts.messages.empty());
    }
    EXPECT_EQ(ApplicationDocController::shared().openDocumentWithContentsOfFile(folder / "missing.jpg", true, &error),
              nullptr);
    EXPECT_EQ(error.code, NSFileReadNoPermissionError);
    test::ScriptedAlerts alerts;
    DocumentController::presentError(error);
    EXPECT_EQ(alerts.messages.size(), 1u);
}

TEST(PictureDocumentTest, TheOpenPanelListsPicturesOfEitherCase)
{
    test::TemporaryFolder folder;
    writePicture(folder / "IMG_0001.JPG", 1);
    writePicture(folder / "img_0002.jpg", 1);
    std::ofstream(folder / "notes.txt") << "text";
    const std::vector<std::string> extensions = ApplicationDocController::openPanelExtensions();
    ASSERT_NE(std::find(extensions.begin(), extensions.end(), "jpg"), extensions.end());
    std::unique_ptr<QFileDialog> panel = DocumentController::makeOpenPanel(extensions);
    panel->setDirectory(QString::fromStdString(folder.path()));
    auto* model = panel->findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    const QModelIndex root = model->index(QString::fromStdString(folder.path()));
    // Files the filter refuses are left out of the listing.
    std::set<std::string> shown;
    const auto deadline = RunLoop::Clock::now() + std::chrono::seconds(5);
    while (shown.size() < 2 && RunLoop::Clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        shown.clear();
        for (int row = 0; row < model->rowCount(root); ++row)
            shown.insert(model->fileName(model->index(row, 0, root)).toStdString());
    }
    EXPECT_TRUE(shown.count("IMG_0001.JPG"));
    EXPECT_TRUE(shown.count("img_0002.jpg"));
    EXPECT_FALSE(shown.count("notes.txt"));

    EXPECT_EQ(ApplicationDocController::typeFromFileExtension("jpg"), "public.jpeg");
    const std::vector<std::string> jpegExtensions = ApplicationDocController::fileExtensionsFromType("public.jpeg");
    EXPECT_NE(std::find(jpegExtensions.begin(), jpegExtensions.end(), "jpg"), jpegExtensions.end());
}

TEST(PictureDocumentTest, WithoutAStoredFrameTheWindowTakesThePicturesUprightSizeWithinTheScreen)
{
    ASSERT_TRUE(privateFolders);
    test::TemporaryFolder folder;
    const QSize available = QGuiApplication::primaryScreen()->availableGeometry().size();
    struct Case {
        const char* what;
        unsigned orientation;
        int height; // the file is twice as wide
        QSize upright;
    } cases[] = {
        {"a small picture", 1, 120, QSize(240, 120)},
        {"turned a quarter: upright is taller than wide", 6, 150, QSize(150, 300)},
        {"larger than the screen", 1, 1600, QSize(3200, 1600)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UserDefaults::standard().removeObjectForKey(WindowFrameAutosave::defaultsKey(RIDocument::FrameAutosaveName));
        const std::string path = writePicture(folder / (std::to_string(c.height) + ".jpg"), c.orientation, c.height);
        auto* document = dynamic_cast<RIDocument*>(ApplicationDocController::shared().openDocumentWithContentsOfFile(path, true));
        ASSERT_NE(document, nullptr);
        Window* window = document->firstWindow();
        QCoreApplication::processEvents();
        const QSize viewport = window->findChild<QScrollArea*>()->viewport()->size();
        if (c.upright.width() <= available.width() / 2 && c.upright.height() <= available.height() / 2) {
            // The whole picture at 100 %, nothing around it.
            EXPECT_EQ(viewport, c.upright);
            EXPECT_DOUBLE_EQ(View::scalePercent(document->documentView()), 100.0);
        } else {
            EXPECT_LE(window->width(), available.width());
            EXPECT_LE(window->height(), available.height());
            EXPECT_GE(window->width(), available.width() * 3 / 4);
        }
        closeAndWait(document);
    }
}

TEST(PictureDocumentTest, EveryPictureWindowShowsTheStoredToolbarOrTheDefaults)
{
    ASSERT_TRUE(privateFolders);
    test::TemporaryFolder folder;
    const std::string key = WindowToolbar::configurationKey(RIDocument::ToolbarIdentifier);
    UserDefaults::standard().removeObjectForKey(key);
    const std::vector<std::string> defaults {"ZoomIn Item Identifier", "ZoomOut Item Identifier",
                                             "ZoomBest Item Identifier", NSToolbarFlexibleSpaceItemIdentifier};
    ApplicationDocController& controller = ApplicationDocController::shared();
    Document* first = controller.openDocumentWithContentsOfFile(writePicture(folder / "first.jpg", 1), true);
    ASSERT_TRUE(toolbarOf(first));
    EXPECT_EQ(toolbarOf(first)->itemIdentifiers(), defaults);
    closeAndWait(first);
    const Value stored = UserDefaults::standard().dictionaryForKey(key);
    if (!stored.isNull()) {
        EXPECT_EQ(stored.get("TB Item Identifiers").asArray().size(), defaults.size());
    }

    // Edited in one window, the next one shows the edit.
    Document* second = controller.openDocumentWithContentsOfFile(writePicture(folder / "second.jpg", 1), true);
    ASSERT_TRUE(toolbarOf(second));
    EXPECT_EQ(toolbarOf(second)->itemIdentifiers(), defaults);
    toolbarOf(second)->removeItemAtIndex(0);
    closeAndWait(second);
    Document* third = controller.openDocumentWithContentsOfFile(writePicture(folder / "third.jpg", 1), true);
    ASSERT_TRUE(toolbarOf(third));
    EXPECT_EQ(toolbarOf(third)->itemIdentifiers(), std::vector<std::string>(defaults.begin() + 1, defaults.end()));
    toolbarOf(third)->resetToDefaults();
    closeAndWait(third);
}

TEST(PictureDocumentTest, ThePaletteEditsThePictureWindowsToolbar)
{
    ASSERT_TRUE(privateFolders);
    test::TemporaryFolder folder;
    UserDefaults::standard().removeObjectForKey(WindowToolbar::configurationKey(RIDocument::ToolbarIdentifier));
    Document* document = ApplicationDocController::shared().openDocumentWithContentsOfFile(writePicture(folder / "p.jpg", 1), true);
    WindowToolbar* toolbar = toolbarOf(document);
    ASSERT_TRUE(toolbar);
    const std::string zoomIn = "ZoomIn Item Identifier", zoomOut = "ZoomOut Item Identifier",
                      best = "ZoomBest Item Identifier", flexible = NSToolbarFlexibleSpaceItemIdentifier,
                      space = NSToolbarSpaceItemIdentifier;
    const bool ran = test::runCustomizePalette(*toolbar, [&](test::CustomizePalette& palette) {
        ASSERT_TRUE(palette.selectAvailable("Space"));
        ASSERT_TRUE(palette.selectCurrent(0));
        ASSERT_TRUE(palette.press("Add"));
        EXPECT_EQ(toolbar->itemIdentifiers(), (std::vector<std::string> {zoomIn, space, zoomOut, best, flexible}));
        ASSERT_TRUE(palette.selectCurrent(0));
        ASSERT_TRUE(palette.press("Remove"));
        ASSERT_TRUE(palette.selectCurrent(1));
        ASSERT_TRUE(palette.press("Up"));
        EXPECT_EQ(toolbar->itemIdentifiers(), (std::vector<std::string> {zoomOut, space, best, flexible}));
        ASSERT_TRUE(palette.press("Default Set"));
        ASSERT_TRUE(palette.selectCurrent(2));
        ASSERT_TRUE(palette.press("Down"));
    });
    ASSERT_TRUE(ran);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(toolbar->itemIdentifiers(), (std::vector<std::string> {zoomIn, zoomOut, flexible, best}));
    EXPECT_EQ(toolbar->actions().size(), 4);
    toolbar->resetToDefaults();
    closeAndWait(document);
}
