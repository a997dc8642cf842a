#include "Application/NSApplicationWithLimitedOpenFiles.h"

#include "Application/Application.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/Alert.h"
#include "ZovTranslatorManager.h"

namespace vistel {

NSApplicationWithLimitedOpenFiles::NSApplicationWithLimitedOpenFiles(int& argc, char** argv)
    : PlatformApplication(argc, argv)
{
}

bool NSApplicationWithLimitedOpenFiles::shouldOpenFiles(const std::vector<std::string>& paths)
{
    if (paths.size() <= FilesOpenedWithoutAsking)
        return true;
    const long long count = static_cast<long long>(paths.size());
    auto alert = Alert::alertWithMessageText(
        vistel::format(ZOV_TRANSLATE_CLASS("Are you sure you want to open %d files?", "shouldOpenFiles:"), count),
        ZOV_TRANSLATE_CLASS("Cancel", "shouldOpenFiles:"), ZOV_TRANSLATE_CLASS("Open", "shouldOpenFiles:"), std::nullopt,
        vistel::format(ZOV_TRANSLATE_CLASS("This will open %d separate windows.", "shouldOpenFiles:"), count));
    return alert->runModal() == NSAlertAlternateReturn;
}

void NSApplicationWithLimitedOpenFiles::doOpenFiles(const std::vector<std::string>& paths)
{
    if (!shouldOpenFiles(paths))
        return;
    Application* application = Application::instance();
    if (!application)
        return;
    application->setFilesOpenedAtLaunch(true);
    application->openFiles(paths);
}

} // namespace vistel
