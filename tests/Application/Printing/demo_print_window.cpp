// demo_print_window: the print window over the pictures of a folder, to look at under a real X
// server (xvfb-run). Uses a private catalogue and preference folder in a temporary directory.
//
// Usage: demo_print_window FOLDER [--layout CAPTION] [--next] [--sizes] [--grab FILE.png]
//   --next   shows page 2
//   --sizes  opens the paper sizes dialog in millimetres
//   --grab   saves the whole screen after a second and quits (else the window stays open)

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "Application/Printing/ManageSizesDialog.h"
#include "Application/Printing/PrintPreview.h"
#include "Application/Printing/PrintWindow.h"
#include "BrowseTestSupport.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/Imaging/MultiImage.h"
#include "Platform/Imaging/PlatformImage.h"
#include "Preferences/Preferences.h"

using namespace vistel;

namespace {

// The large thumbnail the catalogue would make, made at once.
void giveThumbnail(FileSystemItemMO& item)
{
    const RIReperesentation::Data data = RIReperesentation::dataAtPath(item.fullPath());
    const Ref<RIReperesentation> rep = data ? RIReperesentation::imageRepWithThumbnailForData(data, 512, 0) : nullptr;
    const Ref<PlatformImage> pixels = rep ? rep->cgImage() : nullptr;
    if (!pixels)
        return;
    const QImage upright = RIReperesentation::uprightImage(pixels->toQImage(), rep->imageOrientation());
    item.setThumbnailImageLarge(MultiImage::createWithPlatformImage(PlatformImage::fromQImage(upright)));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [--layout CAPTION] [--next] [--sizes] [--grab FILE]\n", argv[0]);
        return 2;
    }
    char scratch[] = "/tmp/vistel-print-demo-XXXXXX";
    if (!::mkdtemp(scratch))
        return 1;
    ::setenv("XDG_CONFIG_HOME", scratch, 1);
    ::setenv("XDG_DATA_HOME", scratch, 1);
    QApplication application(argc, argv);
    std::string layout = "4-up", grab;
    bool next = false, sizes = false;
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--next")
            next = true;
        else if (argument == "--sizes")
            sizes = true;
        else if (argument == "--layout" && i + 1 < argc)
            layout = argv[++i];
        else if (argument == "--grab" && i + 1 < argc)
            grab = argv[++i];
    }
    Preferences& preferences = Preferences::sharedPreferences();
    preferences.setValue(Value(layout), prefs::DefaultLayoutName);
    preferences.setValue(Value(false), prefs::MeasurementInInches);

    Ref<MediaDatabase> database = MediaDatabase::create();
    MediaDatabase::setDefaultMediaDatabase(database.get());
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
        if (entry.is_regular_file())
            paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    std::vector<Ref<FileSystemItemMO>> items;
    for (const std::string& path : paths) {
        Ref<FileSystemItemMO> item = test::catalogueItemAt(*database, path, true);
        giveThumbnail(*item);
        items.push_back(item);
    }

    auto* window = new PrintWindow;
    window->setSelectedItems(items);
    window->resize(1000, 760);
    window->show();
    if (next)
        window->printPreview()->nextPage();
    if (sizes)
        QTimer::singleShot(300, window, [window] {
            ManageSizesDialog::setResponder([](ManageSizesDialog& dialog) {
                dialog.raise();
                QEventLoop loop;
                QTimer::singleShot(1500, &loop, &QEventLoop::quit);
                loop.exec();
                return 0;
            });
            ManageSizesDialog dialog(window);
            dialog.loadSizesToList(0);
        });
    if (!grab.empty())
        QTimer::singleShot(1200, &application, [grab] {
            QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromStdString(grab));
            QCoreApplication::exit(0);
        });
    const int code = application.exec();
    std::filesystem::remove_all(scratch);
    return code;
}
