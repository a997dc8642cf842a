// The about box: name, version and copyright of a bundle, and the licence agreement.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <filesystem>
#include <fstream>

#include "Application/AboutBoxController.h"
#include "Platform/Bundle.h"
#include "Platform/Gui/Workspace.h"
#include "ShellTestSupport.h"
#include "TestSupport.h"
#include "ZovTranslatorManager.h"

using namespace vistel;

namespace {

const bool privateFolders = test::usePrivateShellFolders();

// A resource folder with an Info.plist of `name` and the given extra files.
class BundleFolder {
public:
    BundleFolder(const std::string& name, const std::vector<std::pair<std::string, std::string>>& files)
    {
        std::ofstream(folder.path() + "/Info.plist")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
               "<key>CFBundleDevelopmentRegion</key><string>en</string>"
               "<key>CFBundleName</key><string>"
            << name
            << "</string><key>CFBundleShortVersionString</key><string>3.2</string>"
               "<key>CFBundleVersion</key><string>417</string>"
               "<key>NSHumanReadableCopyright</key><string>Copyright plain</string></dict></plist>\n";
        for (const auto& [path, text] : files) {
            std::filesystem::create_directories(std::filesystem::path(folder.path() + "/" + path).parent_path());
            std::ofstream(folder.path() + "/" + path) << text;
        }
    }
    Ref<Bundle> bundle(std::vector<std::string> languages) const
    {
        return Bundle::createWithPaths(folder.path(), {}, std::move(languages));
    }
    test::TemporaryFolder folder;
};

} // namespace

TEST(AboutBox, ShowsNameVersionAndLocalisedCopyright)
{
    ASSERT_TRUE(privateFolders);
    ZovTranslatorManager::defaultTranslatorManager().setCurrentBackend(ZovTranslatorBackend_Cocoa);
    const BundleFolder folder("Vistel", {{"en.lproj/InfoPlist.strings", "\"NSHumanReadableCopyright\" = \"Copyright en\";\n"},
                                         {"de.lproj/InfoPlist.strings", "\"NSHumanReadableCopyright\" = \"Urheberrecht de\";\n"},
                                         {"fr.lproj/InfoPlist.strings", "this is not a table"}});
    struct Case {
        std::vector<std::string> languages;
        const char* copyright;
    };
    const Case cases[] = {
        {{"de"}, "Urheberrecht de"},
        {{"en"}, "Copyright en"},
        {{"fr"}, "Copyright en"}, // a damaged table: the next localisation
    };
    for (const Case& c : cases) {
        AboutBoxController about(folder.bundle(c.languages));
        EXPECT_EQ(about.applicationNameTextField()->text(), "Vistel");
        EXPECT_EQ(about.versionStringTextField()->text(), "Version 3.2 (417)");
        EXPECT_EQ(about.copyrightTextField()->text().toStdString(), c.copyright) << c.languages[0];
        EXPECT_EQ(about.applicationNameTextField()->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
        EXPECT_TRUE(about.licenseButton()->isHidden()); // no License.rtf
    }
    // Without any InfoPlist.strings: the information dictionary's own text.
    const BundleFolder plain("Vistel", {});
    EXPECT_EQ(AboutBoxController(plain.bundle({"en"})).copyrightTextField()->text(), "Copyright plain");
}

TEST(AboutBox, AnEmptyNameShowsTheProductName)
{
    const BundleFolder folder("", {});
    AboutBoxController about(folder.bundle({"en"}));
    EXPECT_EQ(about.applicationNameTextField()->text(), AboutBoxController::ProductName);
}

TEST(AboutBox, TheLicenceOpensWhenItShips)
{
    const BundleFolder folder("Vistel", {{"en.lproj/License.rtf", "{\\rtf1 licence}"}});
    std::vector<std::string> opened;
    auto previous = Workspace::setOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    AboutBoxController about(folder.bundle({"en"}));
    EXPECT_FALSE(about.licenseButton()->isHidden());
    QTest::mouseClick(about.licenseButton(), Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_NE(opened[0].find("en.lproj/License.rtf"), std::string::npos) << opened[0];
    Workspace::setOpener(previous);
}

TEST(AboutBox, TheSharedBoxIsMadeOnce)
{
    EXPECT_EQ(AboutBoxController::shared(), nullptr);
    AboutBoxController::orderFrontAboutBox();
    AboutBoxController* first = AboutBoxController::shared();
    ASSERT_TRUE(first);
    QWidget* window = first->window();
    EXPECT_TRUE(window->isVisible());
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((window->geometry().center() - centre).manhattanLength(), 2);
    window->hide();
    AboutBoxController::orderFrontAboutBox();
    EXPECT_EQ(AboutBoxController::shared(), first);
    EXPECT_EQ(first->window(), window);
    EXPECT_TRUE(window->isVisible());
    // The program's own bundle: its name and its copyright.
    EXPECT_EQ(first->applicationNameTextField()->text(), "Vistel");
    EXPECT_TRUE(first->copyrightTextField()->text().startsWith("Copyright ©")) << first->copyrightTextField()->text().toStdString();
}

TEST(AboutBox, EscapeAndTheCloseKeyCloseIt)
{
    BundleFolder folder("Keys", {});
    AboutBoxController about(folder.bundle({"en"}));
    const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {{Qt::Key_Escape, Qt::NoModifier},
                                                              {Qt::Key_W, Qt::ControlModifier}};
    for (const auto& [key, modifiers] : keys) {
        about.window()->show();
        ASSERT_TRUE(about.window()->isVisible());
        // From the window's button, which leaves these keys alone.
        QTest::keyClick(about.licenseButton(), key, modifiers);
        EXPECT_FALSE(about.window()->isVisible()) << QKeySequence(key | modifiers).toString().toStdString();
    }
    // Other keys leave it open.
    about.window()->show();
    QTest::keyClick(about.window(), Qt::Key_W);
    EXPECT_TRUE(about.window()->isVisible());
}
