#pragma once
// Application: the program's delegate and the owner of its long-lived pieces (the catalogue,
// the main window controller), and the order in which the program starts and stops.
//
// Start-up. main() does, before this object exists: the single-instance check, the bundle
// identifier of the preferences, the image-property table, the interface images, the screen's
// scale factor. The constructor selects the "cocoa" translations and makes the catalogue
// (registered as the default one). Files named on the command line are opened next
// (openFiles), then applicationDidFinishLaunching(): preferences with their defaults, the main
// menu's names, the exception log format, the codecs' document types, the camera question,
// and the main window, shown (behind the opened pictures when files were opened).
//
// Quitting (terminate): the quit-time registry asks the running tasks; then the catalogue's
// unsaved changes are saved, and a failed save is shown and asked about ("Quit anyway?").
// When the quit goes on: the main window controller goes (its frame and screen are stored),
// and PlatformApplication::terminate() ends the process (the program's handler synchronises the
// preferences and calls quick_exit). A cancelled quit shows the main window again.
// SIGTERM and SIGINT (terminateWithoutQuestions) save the catalogue and end the same way
// without asking anything.
//
// Thread rules: main thread only; one instance per process.

#include <memory>
#include <string>
#include <vector>

#include "Application/ZovTestComponent.h"
#include "Platform/Gui/Responder.h"
#include "Platform/Object.h"
#include "Platform/Value.h"
#include "ZovClass.h"

class QMenuBar;

namespace vistel {

class MainWindow;
class MediaDatabase;
class PreferencesController;

inline constexpr unsigned NSTerminateCancel = 0;
inline constexpr unsigned NSTerminateNow = 1;

class Application : public Responder {
public:
    ZOV_ROOT_CLASS(Application)

    static Application* instance();
    static MediaDatabase* mediaDatabase();

    // Start-up part 1. A second instance is a programming error.
    Application();
    ~Application() override;

    void applicationDidFinishLaunching();
    // NSTerminateNow or NSTerminateCancel.
    unsigned applicationShouldTerminate();
    void applicationWillTerminate();

    // The whole quit, with its questions.
    void terminate();
    // SIGTERM / SIGINT: save, end, ask nothing.
    void terminateWithoutQuestions();

    MainWindow* mainWindow() const { return mainWindow_.get(); }
    const std::vector<std::unique_ptr<ZovTestComponentProtocol>>& testBundles() const { return testBundles_; }
    // The preferences window's controller, made on first use.
    PreferencesController& preferencesController();
    void showPreferences();
    // Brings the main window back (restored when minimised), raised and active.
    void showBrowser();
    // Opens the release notes of the update server in the default browser; false without a server.
    bool showReleaseNotes();
    // The release notes' address on the update server; empty without a server.
    static std::string releaseNotesURL();
    void saveAction();
    // Asks first (default "Cancel"): the catalogue's own ratings, keywords and categories go.
    void emptyDatabase();

    // Opens picture files in their own windows (the document controller).
    void openFiles(const std::vector<std::string>& paths);
    bool filesOpenedAtLaunch() const { return filesOpenedAtLaunch_; }
    void setFilesOpenedAtLaunch(bool opened) { filesOpenedAtLaunch_ = opened; }

    // The names in the main menu: "CFBundleName" in the items tagged 1, 4, 7 and 9999 becomes
    // the program's name; the item tagged 100 with deletePermanently: also answers Shift+Delete.
    static void customizeMenu(QMenuBar* menuBar);
    // The line logged for an exception caught at a boundary.
    static std::string exceptionLogLine(const std::string& name, const std::string& reason, const Value& userInfo);

    bool validateUserInterfaceItem(const UserInterfaceItem& item) override;

private:
    void cameraQuestion();
    bool saveCatalogueForQuit();
    void finishTerminating();

    Ref<MediaDatabase> mediaDatabase_;
    std::unique_ptr<MainWindow> mainWindow_;
    std::unique_ptr<PreferencesController> preferencesController_;
    // Add-on components that put themselves into the menu.
    std::vector<std::unique_ptr<ZovTestComponentProtocol>> testBundles_;
    // Expires with the object, for results that arrive later.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool filesOpenedAtLaunch_ = false;
    bool terminating_ = false;
    bool installedExceptionLog_ = false;
};

} // namespace vistel
