// The program: the single-instance check, then the application object and the main loop.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QGuiApplication>
#include <QScreen>

#include "Application/Application.h"
#include "Application/BrowseMode/BrowsingModeController.h"
#include "Application/FileOperationLauncher.h"
#include "Application/NSApplicationWithLimitedOpenFiles.h"
#include "Application/PartialCopySweep.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/Icons/NSImageNameTemplatesLoader.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/Bundle.h"
#include "Platform/Gui/PlatformApplication.h"
#include "Platform/Imaging/ImagePropertyMapping.h"
#include "Platform/Log.h"
#include "Platform/SingleInstance.h"
#include "Platform/TerminationSignals.h"
#include "Platform/UserDefaults.h"

using namespace vistel;

namespace {

// The files named on the command line (options left out).
std::vector<std::string> fileArguments(int argc, char** argv)
{
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] != '-')
            files.emplace_back(argv[i]);
    return files;
}

} // namespace

int main(int argc, char** argv)
{
    // Before any thread starts, so that every thread inherits the blocked signals.
    TerminationSignals::block();

    const std::string identifier = Bundle::main()->bundleIdentifier();
    const std::vector<std::string> files = fileArguments(argc, argv);
    SingleInstance instance(SingleInstance::runtimeFolder(), identifier.empty() ? UserDefaults::DefaultBundleIdentifier : identifier);
    if (!instance.becomeServer()) {
        // Another start serves: hand it the files (or ask it to show itself) and leave.
        return instance.sendToServer(files) ? EXIT_SUCCESS : EXIT_FAILURE;
    }

    if (!identifier.empty())
        UserDefaults::setStandardBundleIdentifier(identifier);
    ImagePropertyMapping::initialize();

    NSApplicationWithLimitedOpenFiles platformApplication(argc, argv);
    const Value name = Bundle::main()->objectForInfoDictionaryKey("CFBundleName");
    QGuiApplication::setApplicationDisplayName(QString::fromStdString(name.toString("Vistel")));
    QGuiApplication::setQuitOnLastWindowClosed(false);
    NSImageNameTemplatesLoader::load();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        RIReperesentation::setMainScreenScaleFactor(screen->devicePixelRatio());

    // After the application's last words (defaults saved), end without running destructors of
    // objects other threads may still use.
    PlatformApplication::setTerminateHandler([] {
        UserDefaults::standard().synchronize();
        std::fflush(nullptr);
        std::quick_exit(EXIT_SUCCESS);
    });

    Application application;
    installFileOperations();
    BrowsingModeController::registerMode();
    instance.serve(RunLoop::main(), [&application, &platformApplication](const std::vector<std::string>& paths) {
        if (paths.empty())
            application.showBrowser();
        else
            platformApplication.doOpenFiles(paths);
    });
    TerminationSignals terminationSignals;
    terminationSignals.watch(RunLoop::main(), [&application](int) { application.terminateWithoutQuestions(); });
    QObject::connect(&platformApplication, &QGuiApplication::lastWindowClosed, &platformApplication,
                     [&application] { application.terminate(); });

    if (!files.empty())
        platformApplication.doOpenFiles(files);
    application.applicationDidFinishLaunching();
    // Partial copies that copies killed mid-way left in the catalogue's folders go once the
    // window is up.
    RunLoop::main()->perform(
        [] {
            if (MediaDatabase* catalogue = Application::mediaDatabase())
                sweepPartialCopiesInCataloguedFolders(*catalogue);
        },
        {NSDefaultRunLoopMode});
    return platformApplication.exec();
}
