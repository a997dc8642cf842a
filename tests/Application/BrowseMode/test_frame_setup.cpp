// Setting a USB stick up as a picture frame from the browse window: File > New Frame… with the
// grid focused, then Configure Frame… from the menu, the sidebar's menu and the tool bar. The
// stick is a tmpfs mount in this process's own mount namespace, described as USB through the
// volume manager's device seam.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <fstream>
#include <sstream>

#include "../ShellTestSupport.h"
#include "Application/BrowseMode/BrowserPanel.h"
#include "Application/BrowseMode/ItemsPanel.h"
#include "Application/BrowseMode/ItemsViewControl.h"
#include "Application/BrowseMode/TrackableOutlineView.h"
#include "Application/BrowseMode/WindowStatusBarPanel.h"
#include "Application/MainMenu.h"
#include "BrowseTestSupport.h"
#include "CatalogueTestSupport.h"
#include "Frames/ConfigurePhotoFrameDialog.h"
#include "Frames/XMLDocumentDL.h"
#include "Common/XML/XMLDocumentID.h"
#include "Preferences/Preferences.h"
#include "Platform/Gui/Window.h"
#include "TestVolumes.h"

namespace vistel::test {
namespace {

const bool privateFolders = usePrivateShellFolders();
const bool privateMedia = usePrivateMediaFolder();
const auto* seamEnvironment = ::testing::AddGlobalTestEnvironment(new TestVolumeSeam);

void typeInto(QLineEdit* field, const QString& text)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

std::string fileText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// What a run of the set-up dialog showed.
struct Shown {
    std::string form, name, diagonal, resolution;
};

class FrameSetupTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        CatalogueTest::SetUp();
        openCatalogue();
        database_->volumes();
        XMLDocumentDL::resetDefaultDocumentDL();
        mode_ = openBrowseWindow(window_);
        ASSERT_TRUE(mode_);
        Window* window = window_->window();
        MainMenu::install(window->menuBar(), MainMenu::WindowKind::Main);
    }
    void TearDown() override
    {
        ConfigurePhotoFrameDialog::setResponder({});
        closeBrowseWindow(window_);
        sticks_.reset();
        XMLDocumentDL::resetDefaultDocumentDL();
        database_->stopJobs();
        CatalogueTest::TearDown();
    }
    BrowserPanel* panel() const { return mode_->browserPanel(); }
    Object* selectedRow() const
    {
        const int row = panel()->treeView()->selectedRow();
        return row >= 0 ? panel()->treeView()->itemAtRow(row) : nullptr;
    }
    // The main menu's item for `action`, validated against the window as a menu opening would.
    ActionItem* menuItem(const std::string& action) const
    {
        validateWindowItems(window_->window());
        for (QAction* top : window_->window()->menuBar()->actions())
            for (QAction* entry : top->menu()->actions())
                if (auto* item = dynamic_cast<ActionItem*>(entry); item && item->action() == action)
                    return item;
        return nullptr;
    }
    QAction* toolbarItem(const std::string& identifier) const
    {
        WindowToolbar* toolbar = mode_->controllerToolBar();
        const auto& identifiers = toolbar->itemIdentifiers();
        for (std::size_t i = 0; i < identifiers.size(); ++i)
            if (identifiers[i] == identifier)
                return toolbar->itemAt(i);
        return nullptr;
    }
    // Runs `trigger` with the set-up dialog answered by looking only: what it showed.
    std::optional<Shown> showsDialog(const std::function<void()>& trigger)
    {
        std::optional<Shown> shown;
        ConfigurePhotoFrameDialog::setResponder([&](ConfigurePhotoFrameDialog& dialog) {
            shown = Shown {dialog.objectName().toStdString(), dialog.dispalyName()->text().toStdString(),
                           dialog.diagonalSize()->text().toStdString(),
                           ConfigurePhotoFrameDialog::resolutionToString(dialog.resolution()).toStdString()};
            dialog.cancel();
        });
        trigger();
        ConfigurePhotoFrameDialog::setResponder({});
        return shown;
    }

    std::unique_ptr<MainWindow> window_;
    BrowsingModeController* mode_ = nullptr;
    std::unique_ptr<TestVolumes> sticks_ = std::make_unique<TestVolumes>();
};

TEST_F(FrameSetupTest, NewFrameFromTheFileMenuThenConfiguredFromMenuSidebarAndToolBar)
{
    Ref<FileSystemVolumeMO> stick = sticks_->mount("STICK");
    if (!stick)
        VISTEL_SKIP_UNAVAILABLE() << "mounting a tmpfs is not permitted here"
                                  << (privateMedia ? "" : " (no private mount namespace)");
    const std::string root = sticks_->mountPoint("STICK");
    ASSERT_TRUE(spinUntil([&] { return panel()->locateToPath(root, false, false); }, 10000));
    ASSERT_EQ(selectedRow(), stick.get());
    // Not a frame yet: only New Frame… is on.
    EXPECT_TRUE(menuItem("newPictureFrame:")->isEnabled());
    EXPECT_FALSE(menuItem("editPictureFrame:")->isEnabled());
    EXPECT_FALSE(menuItem("resetPictureFrame:")->isEnabled());

    // File > New Frame… with the grid focused.
    QWidget* grid = mode_->itemsPanel()->currentViewControl()->itemsViewWidget();
    window_->window()->activateWindow();
    grid->setFocus();
    ASSERT_TRUE(spinUntil([&] { return grid->hasFocus(); }, 2000));
    std::string form;
    ConfigurePhotoFrameDialog::setResponder([&](ConfigurePhotoFrameDialog& dialog) {
        form = dialog.objectName().toStdString();
        EXPECT_EQ(dialog.volumeName()->currentText(), "STICK");
        typeInto(dialog.dispalyName(), "Kitchen");
        // The list's default size; typed sizes are whole or half inches.
        EXPECT_EQ(dialog.diagonalSize()->text(), "10.1");
        QTest::mouseClick(dialog.optionPresets(), Qt::LeftButton);
        dialog.presetsList()->setCurrentIndex(dialog.presetsList()->findText("1280 x 800"));
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
    });
    const std::size_t before = sticks_->notices_.posted.size();
    ActionItem* newFrame = menuItem("newPictureFrame:");
    ASSERT_TRUE(newFrame->isEnabled());
    newFrame->trigger();
    ConfigurePhotoFrameDialog::setResponder({});
    EXPECT_EQ(form, "NewPhotoFrame");

    // The identity file, and the stick announced gone and back.
    EXPECT_EQ(fileText(root + "/.VistelDPF-ID.xml"), fileText(std::string(VISTEL_TEST_DATA_DIR) + "/frame-identity.xml"));
    ASSERT_TRUE(spinUntil([&] { return sticks_->notices_.posted.size() >= before + 2; }, 10000));
    EXPECT_EQ(sticks_->notices_.posted[before].name, "UnmountMedia");
    EXPECT_EQ(sticks_->notices_.posted[before + 1].name, "MountMedia");

    // Selected again under PICTURE FRAMES, with its room in the status bar.
    EXPECT_TRUE(spinUntil([&] { return panel()->photoFramesList()->contains(stick.get()); }, 10000));
    ASSERT_TRUE(spinUntil([&] { return selectedRow() == stick.get(); }, 10000))
        << (selectedRow() ? dynamic_cast<FileSystemItemMO*>(selectedRow())->fullPath() : "none") << " pending "
        << panel()->newFolderPath().value_or("none");
    auto* bar = dynamic_cast<WindowStatusBarPanel*>(mode_->statusPanel());
    ASSERT_TRUE(bar);
    EXPECT_TRUE(spinUntil([&] { return bar->text().find("more pictures available") != std::string::npos; }, 5000))
        << bar->text();

    // Configure Frame… from the menu (the grid still focused), the sidebar's menu and the tool bar.
    EXPECT_FALSE(menuItem("newPictureFrame:")->isEnabled());
    const Shown stored {"ConfigurePhotoFrame", "Kitchen", "10.1", "1280 x 800"};
    auto matches = [&](const std::optional<Shown>& shown, const char* where) {
        ASSERT_TRUE(shown) << where;
        EXPECT_EQ(shown->form, stored.form) << where;
        EXPECT_EQ(shown->name, stored.name) << where;
        EXPECT_EQ(shown->diagonal, stored.diagonal) << where;
        EXPECT_EQ(shown->resolution, stored.resolution) << where;
    };
    grid->setFocus();
    ActionItem* configure = menuItem("editPictureFrame:");
    ASSERT_TRUE(configure->isEnabled());
    matches(showsDialog([&] { configure->trigger(); }), "main menu");

    std::unique_ptr<QMenu> context(panel()->itemPopupMenu(stick.get()));
    ASSERT_TRUE(context);
    QAction* fromSidebar = nullptr;
    for (QAction* entry : context->actions())
        if (entry->text() == "Configure Frame…")
            fromSidebar = entry;
    ASSERT_TRUE(fromSidebar);
    matches(showsDialog([&] { fromSidebar->trigger(); }), "sidebar menu");

    QAction* fromToolbar = toolbarItem("editPhotoFrame");
    ASSERT_TRUE(fromToolbar);
    validateWindowItems(window_->window());
    EXPECT_TRUE(fromToolbar->isEnabled());
    matches(showsDialog([&] { fromToolbar->trigger(); }), "tool bar");

    // Cancelled runs changed nothing.
    EXPECT_EQ(fileText(root + "/.VistelDPF-ID.xml"), fileText(std::string(VISTEL_TEST_DATA_DIR) + "/frame-identity.xml"));
}

// A frame whose device goes away while the reset is asked about: the user is told, half a
// second later, and nothing else happens.
TEST_F(FrameSetupTest, ResetOfAFrameWhoseDeviceWentAwayTellsTheUser)
{
    Ref<FileSystemVolumeMO> stick = sticks_->mount("STICK", TestVolumes::Kind::Stick, [](const std::string& root) {
        XMLDocumentID::createWithParameters("ID-STICK", "Hall", 800, 600, std::string("8"))->saveToFile(root);
    });
    if (!stick)
        VISTEL_SKIP_UNAVAILABLE() << "mounting a tmpfs is not permitted here";
    ASSERT_TRUE(stick->isDPFDevice());
    const std::string root = sticks_->mountPoint("STICK");
    ASSERT_TRUE(spinUntil([&] { return panel()->locateToPath(root, false, false); }, 10000));
    Preferences::sharedPreferences().setValue(Value(true), prefs::ShowResetFrameAlert);
    std::vector<std::string> messages;
    bool gone = false;
    ScopedResponder alerts([&](const AlertRecord& record) {
        messages.push_back(record.messageText);
        if (messages.size() == 1) {
            ::umount2(root.c_str(), MNT_DETACH);
            gone = spinUntil([&] { return !stick->getDeviceInfo(); }, 5000);
        }
        return AlertResponse::pressButton(0);
    });
    panel()->resetPictureFrame();
    ASSERT_TRUE(gone);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(spinUntil([&] { return messages.size() == 2; }, 5000));
    EXPECT_EQ(messages.back(), "USB Volume \"STICK\" no longer available.");
}

} // namespace
} // namespace vistel::test
