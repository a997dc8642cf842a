// The add-on search: bundles under the data folders, which of them are taken, and their items
// in every window's menu bar.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Application/AddOnSearch.h"
#include "Application/MainMenu.h"
#include "Platform/Bundle.h"
#include "Platform/Gui/Responder.h"
#include "Platform/Log.h"
#include "ShellTestSupport.h"
#include "TestSupport.h"

using namespace vistel;
namespace fs = std::filesystem;

namespace {

const bool privateFolders = test::usePrivateShellFolders();

void writeInfoPlist(const std::string& bundle, const std::string& identifier, const std::string& className)
{
    fs::create_directories(bundle);
    std::ofstream(bundle + "/Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>CFBundleIdentifier</key><string>"
        << identifier << "</string><key>NSPrincipalClass</key><string>" << className
        << "</string><key>CFBundleExecutable</key><string>TestComponent.so</string></dict></plist>\n";
}

// A bundle with the test add-on (a copy of its own, so each bundle loads separately).
void makeBundle(const std::string& bundle, const std::string& identifier, const std::string& className)
{
    writeInfoPlist(bundle, identifier, className);
    fs::copy_file(VISTEL_TEST_ADDON_PATH, bundle + "/TestComponent.so");
}

std::vector<std::string> menuTitles(QMenuBar* bar, const QString& menuTitle)
{
    std::vector<std::string> titles;
    for (QAction* action : bar->actions())
        if (action->menu() && action->text() == menuTitle)
            for (QAction* item : action->menu()->actions())
                titles.push_back(item->text().toStdString());
    return titles;
}

} // namespace

TEST(AddOnSearch, TakesTheFittingBundlesAndPutsThemIntoEveryMenuBar)
{
    ASSERT_TRUE(privateFolders);
    test::TemporaryFolder home, shared;
    ::setenv("XDG_DATA_HOME", home.path().c_str(), 1);
    ::setenv("XDG_DATA_DIRS", ("relative:" + shared.path() + "/").c_str(), 1);
    const std::string mine = home.path() + "/Zov Systems";
    const std::string theirs = shared.path() + "/Zov Systems";

    makeBundle(mine + "/Exact.bundle", "com.ZovSystems.TestFramework", "ZovTestComponent");
    makeBundle(theirs + "/deep/er/Suffix.framework", "com.ZovSystems.TestFramework.Viewer", "ZovTestComponent");
    makeBundle(mine + "/Other.bundle", "com.Other.TestFramework", "ZovTestComponent");
    makeBundle(mine + "/Short.bundle", "com.ZovSystems.Test", "ZovTestComponent");
    makeBundle(mine + "/NotOne.bundle", "com.ZovSystems.TestFramework.A", "NotAComponent");
    makeBundle(mine + "/Refusing.bundle", "com.ZovSystems.TestFramework.B", "RefusingComponent");
    makeBundle(mine + "/BadPlist.bundle", "com.ZovSystems.TestFramework.C", "ZovTestComponent");
    std::ofstream(mine + "/BadPlist.bundle/Info.plist") << "<plist><dict><key>CFBundle";
    writeInfoPlist(mine + "/BadLibrary.bundle", "com.ZovSystems.TestFramework.D", "ZovTestComponent");
    std::ofstream(mine + "/BadLibrary.bundle/TestComponent.so") << "\x7f" "ELF but not really";
    fs::create_directory_symlink(mine + "/Exact.bundle", mine + "/Linked.bundle");
    fs::create_directory_symlink(theirs, mine + "/linked-folder");

    const std::vector<std::string> folders = AddOnSearch::searchFolders();
    ASSERT_GE(folders.size(), 3u);
    EXPECT_EQ(folders[0], Bundle::main()->privateFrameworksPath());
    EXPECT_EQ(folders[1], mine);
    EXPECT_EQ(folders[2], theirs); // "relative" is not a folder

    QMainWindow browser, picture;
    MainMenu::install(browser.menuBar(), MainMenu::WindowKind::Main);
    MainMenu::install(picture.menuBar(), MainMenu::WindowKind::Picture);

    ScopedLogCapture log;
    std::optional<std::vector<std::string>> found;
    AddOnSearch::start([&](const std::vector<std::string>& bundles) { found = bundles; });
    EXPECT_FALSE(found); // the caller goes on; the answer comes through the main loop
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!found && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(found);
    std::vector<std::string> names;
    for (const std::string& path : *found)
        names.push_back(fs::path(path).filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"BadLibrary.bundle", "Exact.bundle", "NotOne.bundle",
                                               "Refusing.bundle", "Suffix.framework"}));
    EXPECT_TRUE(log.contains("no bundle identifier in " + mine + "/BadPlist.bundle"));

    Responder application;
    const auto components = AddOnSearch::loadComponents(*found, application);
    ASSERT_EQ(components.size(), 2u);
    for (QMenuBar* bar : {browser.menuBar(), picture.menuBar()})
        EXPECT_EQ(menuTitles(bar, "Tools"), (std::vector<std::string>{"Add-on Exact.bundle", "Add-on Suffix.framework"}));
    EXPECT_TRUE(application.respondsToAction("addOn:Exact.bundle"));
    // A window made later has the items too.
    QMainWindow later;
    MainMenu::install(later.menuBar(), MainMenu::WindowKind::Main);
    EXPECT_EQ(menuTitles(later.menuBar(), "Tools").size(), 2u);

    EXPECT_TRUE(log.contains("com.Other.TestFramework"));
    EXPECT_TRUE(log.contains("com.ZovSystems.Test)"));
    EXPECT_TRUE(log.contains("NotAComponent"));
    EXPECT_TRUE(log.contains("cannot load " + mine + "/BadLibrary.bundle/TestComponent.so"));
    MainMenu::main().removeAddedEntries();
    EXPECT_TRUE(menuTitles(browser.menuBar(), "Tools").empty());
}

TEST(AddOnSearch, TheFrameworksFolderIsBesideThePlugIns)
{
    EXPECT_EQ(Bundle::createWithPaths("/x/share/vistel/Resources", "/x/lib/vistel/PlugIns")->privateFrameworksPath(),
              "/x/lib/vistel/Frameworks");
    EXPECT_EQ(Bundle::createWithPaths("/x/Resources", "")->privateFrameworksPath(), "");
}
