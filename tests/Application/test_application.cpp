// The application object: start-up, the quit decision over a real catalogue in a private
// store, opening many files, emptying the catalogue, the camera question, the main menu and
// the exception log.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>

#include <set>

#include "Application/Application.h"
#include "Application/MainMenu.h"
#include "Application/MainWindow.h"
#include "Application/NSApplicationWithLimitedOpenFiles.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "FileSystemFixtures.h"
#include "Platform/Exception.h"
#include "Platform/Gui/Window.h"
#include "Platform/Gui/Workspace.h"
#include "Platform/Log.h"
#include "Preferences/Preferences.h"
#include "ShellTestSupport.h"
#include "TestSupport.h"

using namespace vistel;

namespace {

const bool privateFolders = test::usePrivateShellFolders();

// Runs the main loop until `done` or two seconds pass.
template <class Predicate>
bool runMainLoopUntil(Predicate done)
{
    const auto deadline = RunLoop::Clock::now() + std::chrono::seconds(2);
    while (!done() && RunLoop::Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

std::size_t itemsNamed(MediaDatabase& database, const std::string& name)
{
    return database.searchObjectsBy("name==%@", {Value(name)}, 0, MediaDatabase::EntityElement).value_or(
        std::vector<Ref<store::ManagedObject>> {}).size();
}

} // namespace

TEST(ApplicationTest, StartsWithTheCatalogueAndTheMainWindowAndQuitsWhenNothingIsPending)
{
    ASSERT_TRUE(privateFolders);
    test::RecordedTermination terminated;
    Application application;
    EXPECT_EQ(Application::instance(), &application);
    EXPECT_EQ(MediaDatabase::defaultMediaDatabase(), Application::mediaDatabase());
    EXPECT_THROW(Application second, Exception); // one per process
    application.applicationDidFinishLaunching();
    ASSERT_NE(application.mainWindow(), nullptr);
    Window* window = application.mainWindow()->window();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Preferences::sharedPreferences().integerForKey("BrowserPanel.Width"), 300);

    // "Browser" is offered exactly while the main window is hidden or minimised, and brings it back.
    ActionItem browser("Browser", "showBrowser:");
    EXPECT_FALSE(application.validateUserInterfaceItem(browser));
    window->close(); // closing hides it, the program goes on
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(application.mainWindow()->window(), window);
    EXPECT_TRUE(application.validateUserInterfaceItem(browser));
    application.showBrowser();
    EXPECT_TRUE(window->isVisible());
    window->showMinimized();
    ASSERT_TRUE(window->isMinimized());
    EXPECT_TRUE(application.validateUserInterfaceItem(browser));
    EXPECT_TRUE(Responder::sendAction("showBrowser:", &application, &browser, nullptr));
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(application.validateUserInterfaceItem(browser));

    application.terminate();
    EXPECT_EQ(terminated.count, 1);
    EXPECT_EQ(application.mainWindow(), nullptr);
}

TEST(ApplicationTest, ATaskThatWouldBeLostStopsTheQuitBeforeTheCatalogueIsTouched)
{
    test::RecordedTermination terminated;
    Application application;
    application.applicationDidFinishLaunching();
    MediaDatabase& database = *Application::mediaDatabase();
    ASSERT_TRUE(database.createChildOf(nullptr, "Lost and found", MediaDatabase::EntityFolder));
    auto context = database.managedObjectContext();
    ASSERT_TRUE(context && context->hasChanges());
    test::RegisteredTask task(0, "Copying 12 items to Backup");
    {
        test::ScriptedAlerts alerts({"Continue"});
        application.mainWindow()->window()->hide();
        application.terminate();
        EXPECT_EQ(terminated.count, 0);
        EXPECT_TRUE(context->hasChanges());
        EXPECT_TRUE(application.mainWindow()->window()->isVisible()); // a cancelled quit shows it
    }
    test::ScriptedAlerts alerts({"Quit"});
    application.terminate();
    EXPECT_EQ(terminated.count, 1);
    EXPECT_FALSE(context->hasChanges()); // saved on the way out
}

TEST(ApplicationTest, TerminationSignalsSaveAndEndWithoutQuestions)
{
    test::RecordedTermination terminated;
    Application application;
    application.applicationDidFinishLaunching();
    MediaDatabase& database = *Application::mediaDatabase();
    ASSERT_TRUE(database.createChildOf(nullptr, "Signalled", MediaDatabase::EntityFolder));
    test::RegisteredTask task(0, "Converting");
    test::ScriptedAlerts alerts;
    application.terminateWithoutQuestions();
    EXPECT_TRUE(alerts.messages.empty());
    EXPECT_EQ(terminated.count, 1);
    EXPECT_FALSE(database.managedObjectContext()->hasChanges());
}

TEST(ApplicationTest, AFailingSaveAsksQuitAnyway)
{
    test::ScopedTmpfs volume(0, "1m");
    if (!volume.mounted())
        VISTEL_SKIP_UNAVAILABLE() << "cannot mount a tmpfs here";
    const std::string oldData = std::getenv("XDG_DATA_HOME");
    ::setenv("XDG_DATA_HOME", volume.path().c_str(), 1);
    {
        test::RecordedTermination terminated;
        Application application;
        application.applicationDidFinishLaunching();
        MediaDatabase& database = *Application::mediaDatabase();
        auto context = database.managedObjectContext();
        ASSERT_TRUE(context);
        // Fill the volume, then change more than it can take.
        const int filler = ::open((volume.path() + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
        const std::string block(64 * 1024, 'x');
        while (::write(filler, block.data(), block.size()) > 0) { }
        ::fsync(filler);
        // Fewer than the catalogue's own batch, so that only the quit saves.
        for (int i = 0; i < 200; ++i)
            database.createChildOf(nullptr, "folder with a long name to fill pages " + std::to_string(i),
                                   MediaDatabase::EntityFolder);
        ASSERT_TRUE(context->hasChanges());
        {
            test::ScriptedAlerts alerts({"OK", "Cancel"});
            application.terminate();
            ASSERT_EQ(alerts.messages.size(), 2u);
            EXPECT_EQ(alerts.messages[1], "Could not save changes while quitting. Quit anyway?");
            EXPECT_EQ(terminated.count, 0);
        }
        test::ScriptedAlerts alerts({"OK", "Quit anyway"});
        application.terminate();
        EXPECT_EQ(terminated.count, 1);
        ::close(filler);
    }
    ::setenv("XDG_DATA_HOME", oldData.c_str(), 1);
}

TEST(ApplicationTest, OpeningSixOrMoreFilesAsksFirst)
{
    struct Case {
        std::size_t files;
        const char* answer;
        bool opens;
        bool asked;
    };
    for (const Case& c : {Case {5, "", true, false}, Case {6, "Cancel", false, true}, Case {6, "Open", true, true}}) {
        test::ScriptedAlerts alerts(c.asked ? std::vector<std::string> {c.answer} : std::vector<std::string> {});
        const std::vector<std::string> paths(c.files, "/pictures/a.jpg");
        EXPECT_EQ(NSApplicationWithLimitedOpenFiles::shouldOpenFiles(paths), c.opens) << c.files << c.answer;
        ASSERT_EQ(alerts.messages.size(), c.asked ? 1u : 0u);
        if (c.asked) {
            EXPECT_EQ(alerts.messages[0], "Are you sure you want to open 6 files?");
            EXPECT_EQ(Alert::answeredAlerts().back().informativeText, "This will open 6 separate windows.");
        }
    }
}

TEST(ApplicationTest, EmptyingTheDatabaseAsksFirstWithCancelAsDefault)
{
    Application application;
    MediaDatabase& database = *Application::mediaDatabase();
    ASSERT_TRUE(database.createChildOf(nullptr, "Keep me", MediaDatabase::EntityFolder));
    database.saveChanges();
    {
        test::ScriptedAlerts alerts; // the first (default) button
        application.emptyDatabase();
        ASSERT_EQ(alerts.messages.size(), 1u);
        EXPECT_EQ(Alert::answeredAlerts().back().buttons.at(0).title, "Cancel");
        EXPECT_EQ(itemsNamed(database, "Keep me"), 1u);
    }
    test::ScriptedAlerts alerts({"Empty Database"});
    application.emptyDatabase();
    EXPECT_EQ(itemsNamed(database, "Keep me"), 0u);
}

TEST(ApplicationTest, TheCameraQuestionIsAskedOnlyWhileUndecided)
{
    Preferences& preferences = Preferences::sharedPreferences();
    struct Case {
        const char* answer;
        bool launch;
        bool askAgain;
    };
    for (const Case& c : {Case {"Decide Later", false, true}, Case {"No", false, false}, Case {"Yes", true, false}}) {
        preferences.setValue(Value(true), "Global.CheckImageCapturePreferences");
        preferences.setValue(Value(false), "Camera.LaunchApplicationOnCameraConnection");
        test::ScriptedAlerts alerts({c.answer});
        {
            Application application;
            application.applicationDidFinishLaunching();
        }
        ASSERT_EQ(alerts.messages.size(), 1u) << c.answer;
        EXPECT_EQ(alerts.messages[0].find("CFBundleName"), std::string::npos);
        EXPECT_EQ(preferences.boolForKey("Camera.LaunchApplicationOnCameraConnection"), c.launch) << c.answer;
        EXPECT_EQ(preferences.boolForKey("Global.CheckImageCapturePreferences"), c.askAgain) << c.answer;
    }
    test::ScriptedAlerts alerts;
    Application application;
    application.applicationDidFinishLaunching(); // decided: no question
    EXPECT_TRUE(alerts.messages.empty());
}

TEST(ApplicationTest, ExceptionsOfHandlersAndTimersAreLoggedAndTheProgramRunsOn)
{
    Application application;
    application.applicationDidFinishLaunching();
    ScopedLogCapture log;

    class Thrower : public QObject {
    public:
        bool event(QEvent* event) override
        {
            if (event->type() == QEvent::User)
                throw Exception("TestException", "the handler failed", Value::dictionary({{"file", Value("a.jpg")}}));
            return QObject::event(event);
        }
    } thrower;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&thrower, &event);
    EXPECT_TRUE(log.contains("Unhandeld exception: TestException \nreason: the handler failed \nuser info: "));
    EXPECT_TRUE(log.contains("a.jpg"));

    RunLoop::main()->scheduleTimer(0, false, [](RunLoop::Timer&) { throw std::runtime_error("the timer failed"); },
                                   {NSRunLoopCommonModes});
    bool later = false;
    RunLoop::main()->scheduleTimer(0.05, false, [&](RunLoop::Timer&) { later = true; }, {NSRunLoopCommonModes});
    EXPECT_TRUE(runMainLoopUntil([&] { return later; }));
    EXPECT_TRUE(log.contains("Unhandeld exception: std::exception \nreason: the timer failed \nuser info: (null)"));
}

TEST(ApplicationTest, TheMainMenuAfterCustomizing)
{
    QMenuBar bar;
    MainMenu::install(&bar, MainMenu::WindowKind::Main);
    std::vector<std::string> rows;
    for (QAction* top : bar.actions())
        for (QAction* item : top->menu()->actions()) {
            if (item->isSeparator())
                continue;
            auto* actionItem = dynamic_cast<ActionItem*>(item);
            ASSERT_NE(actionItem, nullptr);
            std::string row = top->text().toStdString() + "|" + item->text().toStdString() + "|" +
                              actionItem->action() + "|" + std::to_string(actionItem->tag());
            for (const QKeySequence& key : item->shortcuts())
                row += "|" + key.toString(QKeySequence::PortableText).toStdString();
            rows.push_back(row);
        }
    const std::vector<std::string> expected = {
        "File|Open…|openDocument:|0|Ctrl+O",
        "File|New Folder|onCreateFolderAction:|0|Ctrl+Shift+N",
        "File|Close Window|performClose:|0|Ctrl+W",
        "File|Save As…|saveDocumentAs:|0|Ctrl+Shift+S",
        "File|Print…|printPictures:|0|Ctrl+P",
        "File|Export Metadata|exportMetadata:|0",
        "File|Batch Convert…|batchConvertFileFormat:|0",
        "File|Batch Resize…|batchResize:|0",
        "File|Batch Rename…|batchRename:|0",
        "File|New Frame…|newPictureFrame:|0",
        "File|Configure Frame…|editPictureFrame:|0",
        "File|Reset Frame|resetPictureFrame:|0",
        "File|Send to Frame|sendToFrame:|0",
        "File|Eject|onUnmountVolumeAction:|0|Ctrl+E",
        "File|Empty Database…|emptyDatabase:|0",
        "File|Quit Vistel|terminate:|7|Ctrl+Q",
        "Edit|Undo|undo:|0|Ctrl+Z",
        "Edit|Redo|redo:|0|Ctrl+Shift+Z",
        "Edit|Cut|cut:|0|Ctrl+X",
        "Edit|Copy|copy:|0|Ctrl+C",
        "Edit|Paste|paste:|0|Ctrl+V",
        "Edit|Move Here|move:|0|Ctrl+Shift+V",
        "Edit|Select All|selectAll:|0|Ctrl+A",
        "Edit|Rename|rename:|0|F2",
        "Edit|Move to Trash|moveToTrash:|0|Del",
        "Edit|Delete Permanently|deletePermanently:|100|Shift+Del",
        "Edit|Rotate Left|rotateLeft:|0|Ctrl+L",
        "Edit|Rotate Right|rotateRight:|0|Ctrl+R",
        "Edit|Preferences…|showPreferences:|0|Ctrl+,",
        "View|as Thumbnails|asThumbnails:|0|Ctrl+1",
        "View|as List|asList:|0|Ctrl+2",
        "View|Organize Panel|showHideOrganizePanel:|0",
        "View|Properties Panel|showHidePropertiesPanel:|0",
        "View|Zoom In|zoomIn:|0|Ctrl++|Ctrl+=",
        "View|Zoom Out|zoomOut:|0|Ctrl+-",
        "View|Best Fit|bestFit:|0|Ctrl+0",
        "View|Full Screen|goFullScreen:|0|F11",
        "View|Show/Hide Toolbar|toggleToolbarShown:|0",
        "View|Customize Toolbar…|runToolbarCustomizationPalette:|0",
        "Go|Back|backward:|0|Alt+Left",
        "Go|Forward|forward:|0|Alt+Right",
        "Go|Enclosing Folder|enclosingFolder:|0|Alt+Up",
        "Window|Minimize|performMiniaturize:|0|Ctrl+M",
        "Window|Browser|showBrowser:|0",
        "Help|About Vistel|showAboutBox:|1",
    };
    EXPECT_EQ(rows, expected);
    // Picture windows print the document and toggle their own full screen.
    MainMenu::install(&bar, MainMenu::WindowKind::Picture);
    std::set<std::string> pictureActions;
    for (QAction* top : bar.actions())
        for (QAction* item : top->menu()->actions())
            if (auto* actionItem = dynamic_cast<ActionItem*>(item))
                pictureActions.insert(actionItem->action());
    EXPECT_TRUE(pictureActions.count("printDocument:"));
    EXPECT_TRUE(pictureActions.count("toggleFullScreen:"));
    EXPECT_FALSE(pictureActions.count("goFullScreen:"));
}

TEST(ApplicationTest, ReleaseNotesOpenFromTheUpdateServerOnlyWhenThereIsOne)
{
    ASSERT_TRUE(privateFolders);
    Application application;
    std::vector<std::string> opened;
    const Workspace::Opener previous = Workspace::setOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    ActionItem notes("Release Notes", "showReleaseNotes:");
    const char* const saved = std::getenv("VISTEL_SERVER_URL");
    const std::string before = saved ? saved : "";

    ::setenv("VISTEL_SERVER_URL", "", 1);
    EXPECT_FALSE(application.validateUserInterfaceItem(notes));
    application.showReleaseNotes();
    EXPECT_TRUE(opened.empty());

    ::setenv("VISTEL_SERVER_URL", "https://updates.example.org/", 1);
    EXPECT_TRUE(application.validateUserInterfaceItem(notes));
    EXPECT_TRUE(Responder::sendAction("showReleaseNotes:", nullptr, &notes, nullptr));
    EXPECT_EQ(opened, std::vector<std::string> {"https://updates.example.org/client/en/301869"});
    // The menu lists it with a server.
    QMenuBar bar;
    MainMenu::install(&bar, MainMenu::WindowKind::Main);
    bool listed = false;
    for (QAction* top : bar.actions())
        for (QAction* item : top->menu()->actions())
            if (auto* actionItem = dynamic_cast<ActionItem*>(item))
                listed = listed || (actionItem->action() == "showReleaseNotes:" && item->text() == "Release Notes");
    EXPECT_TRUE(listed);

    if (saved)
        ::setenv("VISTEL_SERVER_URL", before.c_str(), 1);
    else
        ::unsetenv("VISTEL_SERVER_URL");
    Workspace::setOpener(previous);
}
