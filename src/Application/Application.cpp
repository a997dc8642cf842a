#include "Application/Application.h"
#include "Application/CameraLaunchSetting.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include "Application/AboutBoxController.h"
#include "Application/AddOnSearch.h"
#include "Application/ApplicationContinuousUserActionHandlersRegistry.h"
#include "Application/ApplicationDocController.h"
#include "Application/MainMenu.h"
#include "Application/MainWindow.h"
#include "Application/PreferencesController.h"
#include "Application/ZOVUpdater.h"
#include "Platform/Gui/WindowToolbar.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Common/Strings/NSStringApplicationInfoAddition.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/Bundle.h"
#include "Platform/Exception.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/Alert.h"
#include "Platform/Gui/PlatformApplication.h"
#include "Platform/Gui/Window.h"
#include "Platform/Gui/Workspace.h"
#include "Platform/Log.h"
#include "Preferences/Preferences.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

Application* theApplication = nullptr;

// The tool bar of the active window, when it has one.
WindowToolbar* activeToolbar()
{
    QWidget* window = QApplication::activeWindow();
    return window ? window->findChild<WindowToolbar*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

} // namespace

Application* Application::instance() { return theApplication; }

MediaDatabase* Application::mediaDatabase() { return theApplication ? theApplication->mediaDatabase_.get() : nullptr; }

Application::Application()
{
    ZOV_ASSERT(theApplication == nullptr, "Double initialization of Application singleton");
    theApplication = this;
    ZovTranslatorManager::defaultTranslatorManager().setCurrentBackend(ZovTranslatorBackend_Cocoa);
    mediaDatabase_ = MediaDatabase::create();
    MediaDatabase::setDefaultMediaDatabase(mediaDatabase_.get());
    ApplicationDocController::shared();

    setActionHandler("showBrowser:", [this](QObject*) { showBrowser(); });
    setActionHandler("saveAction:", [this](QObject*) { saveAction(); });
    setActionHandler("emptyDatabase:", [this](QObject*) { emptyDatabase(); });
    setActionHandler("terminate:", [this](QObject*) { terminate(); });
    setActionHandler("showReleaseNotes:", [this](QObject*) { showReleaseNotes(); });
    setActionHandler("checkForUpdateImmediately:", [](QObject*) { ZOVUpdater::checkImmediately(); });
    setActionHandler("showPreferences:", [this](QObject*) { showPreferences(); });
    setActionHandler("showAboutBox:", [](QObject*) { AboutBoxController::orderFrontAboutBox(); });
    setActionHandler("openDocument:", [](QObject*) { ApplicationDocController::shared().openDocument(); });
    // What every window does, for the active one.
    setActionHandler("performClose:", [](QObject*) {
        if (QWidget* window = QApplication::activeWindow())
            window->close();
    });
    setActionHandler("performMiniaturize:", [](QObject*) {
        if (QWidget* window = QApplication::activeWindow())
            window->showMinimized();
    });
    setActionHandler("toggleFullScreen:", [](QObject*) {
        if (QWidget* window = QApplication::activeWindow())
            window->setWindowState(window->windowState() ^ Qt::WindowFullScreen);
    });
    setActionHandler("toggleToolbarShown:", [](QObject*) {
        if (WindowToolbar* toolbar = activeToolbar())
            toolbar->setShown(!toolbar->isShown());
    });
    setActionHandler("runToolbarCustomizationPalette:", [](QObject*) {
        if (WindowToolbar* toolbar = activeToolbar())
            toolbar->runCustomizationPalette();
    });
    Responder::setApplicationResponder(this);
}

Application::~Application()
{
    if (Responder::applicationResponder() == this)
        Responder::setApplicationResponder(nullptr);
    if (installedExceptionLog_)
        setCaughtExceptionHandler({});
    CameraLaunchSetting::stop();
    preferencesController_.reset();
    testBundles_.clear();
    mainWindow_.reset();
    if (MediaDatabase::defaultMediaDatabase() == mediaDatabase_.get())
        MediaDatabase::setDefaultMediaDatabase(nullptr);
    mediaDatabase_ = nullptr;
    theApplication = nullptr;
}

std::string Application::exceptionLogLine(const std::string& name, const std::string& reason, const Value& userInfo)
{
    return vistel::format("Unhandeld exception: %@ \nreason: %@ \nuser info: %@", name, reason,
                          userInfo.isNull() ? std::string("(null)") : userInfo.description());
}

void Application::applicationDidFinishLaunching()
{
    Preferences::sharedPreferences().startSavingOnChanges(RunLoop::main());
    setCaughtExceptionHandler([](std::string_view, const std::string& name, const std::string& reason,
                                 const Value& userInfo) { ZovLog(exceptionLogLine(name, reason, userInfo)); });
    installedExceptionLog_ = true;
    // Add-ons are looked for on a worker; the main window does not wait for them.
    AddOnSearch::start([this, alive = std::weak_ptr<bool>(alive_)](const std::vector<std::string>& bundles) {
        if (!alive.expired())
            testBundles_ = AddOnSearch::loadComponents(bundles, *this);
    });
    RIReperesentation::tryToUpdateBundle(*Bundle::main(), RIReperesentation::imageUnfilteredFileTypesProperties());
    CameraLaunchSetting::keepInStep();
    cameraQuestion();

    mainWindow_ = MainWindow::create(ApplicationDocController::shared().takeLastOpenFilePath());
    MainMenu::install(mainWindow_->window()->menuBar(), MainMenu::WindowKind::Main);
    mainWindow_->showWindow();
    // The update check runs on its own worker and never holds up the window.
    ZOVUpdater::checkAtLaunch(ZOVUpdater::currentAbsoluteTime());

    if (filesOpenedAtLaunch_) {
        mainWindow_->window()->lower();
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget != mainWindow_->window() && widget->isWindow() && widget->isVisible() &&
                dynamic_cast<Window*>(widget)) {
                widget->raise();
                widget->activateWindow();
                break;
            }
    }
}

void Application::cameraQuestion()
{
    Preferences& preferences = Preferences::sharedPreferences();
    if (!preferences.boolForKey(prefs::CheckImageCapturePreferences) ||
        preferences.boolForKey(prefs::LaunchOnCameraConnection))
        return;
    const std::string message = NSStringApplicationInfoAddition::stringByResolvingInfoKey(
                                    "CFBundleName", ZOV_TRANSLATE("Do you want to use CFBundleName when you connect your "
                                                                  "digital camera?",
                                                                  "applicationDidFinishLaunching:"))
                                    .value_or("");
    Alert alert;
    alert.setAlertStyle(AlertStyle::Informational);
    alert.setMessageText(message);
    alert.setInformativeText(ZOV_TRANSLATE("You can change this option later in Preferences.", "applicationDidFinishLaunching:"));
    alert.addButtonWithTitle(ZOV_TRANSLATE("Yes", "applicationDidFinishLaunching:"));
    alert.addButtonWithTitle(ZOV_TRANSLATE("No", "applicationDidFinishLaunching:"));
    alert.addButtonWithTitle(ZOV_TRANSLATE("Decide Later", "applicationDidFinishLaunching:"));
    const int answer = alert.runModal();
    if (answer != NSAlertThirdButtonReturn)
        preferences.setValue(Value(answer == NSAlertFirstButtonReturn), prefs::LaunchOnCameraConnection);
    preferences.setValue(Value(answer == NSAlertThirdButtonReturn), prefs::CheckImageCapturePreferences);
}

void Application::customizeMenu(QMenuBar* menuBar)
{
    if (!menuBar)
        return;
    for (QAction* top : menuBar->actions()) {
        QMenu* menu = top->menu();
        if (!menu)
            continue;
        for (QAction* item : menu->actions()) {
            auto* actionItem = dynamic_cast<ActionItem*>(item);
            if (!actionItem)
                continue;
            const int tag = actionItem->tag();
            if (tag == 1 || tag == 4 || tag == 7 || tag == 9999) {
                const std::string title = item->text().toStdString();
                item->setText(QString::fromStdString(
                    NSStringApplicationInfoAddition::stringByResolvingInfoKey("CFBundleName", title).value_or(title)));
            }
            if (tag == 100 && actionItem->action() == "deletePermanently:") {
                QList<QKeySequence> shortcuts = item->shortcuts();
                const QKeySequence shiftDelete(Qt::SHIFT | Qt::Key_Delete);
                if (!shortcuts.contains(shiftDelete))
                    shortcuts.append(shiftDelete);
                item->setShortcuts(shortcuts);
            }
        }
    }
}

void Application::showBrowser()
{
    if (!mainWindow_)
        return;
    Window* window = mainWindow_->window();
    if (window->isMinimized())
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    mainWindow_->showWindow();
}

std::string Application::releaseNotesURL()
{
    std::string server = ZOVUpdater::serverURL();
    while (!server.empty() && server.back() == '/')
        server.pop_back();
    return server.empty() ? std::string() : server + "/client/en/301869";
}

bool Application::showReleaseNotes()
{
    const std::string url = releaseNotesURL();
    return !url.empty() && Workspace::openURL(url);
}

void Application::saveAction()
{
    auto context = mediaDatabase_ ? mediaDatabase_->managedObjectContext() : nullptr;
    if (!context)
        return;
    ErrorRecord error;
    if (!context->save(&error))
        PlatformApplication::presentError(error);
}

void Application::emptyDatabase()
{
    auto alert = Alert::alertWithMessageText(
        ZOV_TRANSLATE("Do you want to empty the database?", "emptyDatabase:"),
        ZOV_TRANSLATE("Cancel", "emptyDatabase:"), ZOV_TRANSLATE("Empty Database", "emptyDatabase:"), std::nullopt,
        ZOV_TRANSLATE("Ratings, keywords and categories kept only in the database will be lost. This cannot be undone.",
                      "emptyDatabase:"));
    if (alert->runModal() != NSAlertAlternateReturn || !mediaDatabase_)
        return;
    mediaDatabase_->clearAll();
}

void Application::openFiles(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths)
        ApplicationDocController::shared().openDocumentWithContentsOfFile(path, true);
}

bool Application::validateUserInterfaceItem(const UserInterfaceItem& item)
{
    if (item.action() == "showBrowser:")
        return !mainWindow_ || !mainWindow_->window()->isVisible() || mainWindow_->window()->isMinimized();
    if (item.action() == "showReleaseNotes:")
        return !releaseNotesURL().empty();
    if (item.action() == "toggleToolbarShown:")
        return activeToolbar() != nullptr;
    if (item.action() == "runToolbarCustomizationPalette:")
        return activeToolbar() && activeToolbar()->allowsUserCustomization();
    return respondsToAction(item.action());
}

// --- quitting --------------------------------------------------------------------------------

bool Application::saveCatalogueForQuit()
{
    auto context = mediaDatabase_ ? mediaDatabase_->managedObjectContext() : nullptr;
    if (!context || !context->hasChanges())
        return true;
    ErrorRecord error;
    if (context->save(&error))
        return true;
    if (PlatformApplication::presentError(error))
        return false;
    auto alert = Alert::alertWithMessageText(
        ZOV_TRANSLATE("Could not save changes while quitting. Quit anyway?", "applicationShouldTerminate:"),
        ZOV_TRANSLATE("Quit anyway", "applicationShouldTerminate:"), ZOV_TRANSLATE("Cancel", "applicationShouldTerminate:"),
        std::nullopt, "");
    return alert->runModal() == NSAlertDefaultReturn;
}

unsigned Application::applicationShouldTerminate()
{
    if (ApplicationContinuousUserActionHandlersRegistry::defaultRegistry().applicationShouldTerminate() == 0)
        return NSTerminateCancel;
    return saveCatalogueForQuit() ? NSTerminateNow : NSTerminateCancel;
}

void Application::applicationWillTerminate() { mainWindow_.reset(); }

void Application::terminate()
{
    if (terminating_)
        return;
    terminating_ = true;
    if (applicationShouldTerminate() != NSTerminateNow) {
        terminating_ = false;
        showBrowser();
        return;
    }
    finishTerminating();
}

void Application::terminateWithoutQuestions()
{
    if (terminating_)
        return;
    terminating_ = true;
    if (auto context = mediaDatabase_ ? mediaDatabase_->managedObjectContext() : nullptr) {
        ErrorRecord error;
        if (context->hasChanges() && !context->save(&error))
            ZovLog("Application::terminateWithoutQuestions " + error.description());
    }
    finishTerminating();
}

PreferencesController& Application::preferencesController()
{
    if (!preferencesController_)
        preferencesController_ = std::make_unique<PreferencesController>();
    return *preferencesController_;
}

void Application::showPreferences()
{
    preferencesController().showPreferences();
}

void Application::finishTerminating()
{
    UpdateRequest::cancelAll();
    applicationWillTerminate();
    Preferences::sharedPreferences().synchronize();
    terminating_ = false;
    PlatformApplication::terminate();
}

} // namespace vistel
