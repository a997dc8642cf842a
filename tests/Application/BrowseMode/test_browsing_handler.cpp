// The browse mode's user-action handler: its table (live rows and rows that are not built yet),
// copying onto the clipboard, drop validation over a picture frame, the context menu, showing
// items in the file manager and opening items by double click.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QMimeData>

#include <fstream>

#include "../ShellTestSupport.h"
#include "Application/ApplicationDocController.h"
#include "Application/BrowseMode/BrowsingUAHandler.h"
#include "BrowseTestSupport.h"
#include "CatalogueTestSupport.h"
#include "ItemsTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemVolumeMO.h"
#include "Common/FileSystem/MountTable.h"
#include "Common/Volumes/ZovVolumeInfo.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Platform/FilePaths.h"
#include "Platform/Gui/Pasteboard.h"
#include "Platform/Gui/Workspace.h"
#include "PrivateSystemBus.h"

namespace vistel::test {
namespace {

const bool privateFolders = usePrivateShellFolders();

// A private session bus with no file manager on it: showing an item opens its folder.
class PrivateSessionBus : public ::testing::Environment {
public:
    void SetUp() override { bus_ = std::make_unique<PrivateSystemBus>(folder_.path(), "DBUS_SESSION_BUS_ADDRESS"); }
    void TearDown() override { bus_.reset(); }
    bool running() const { return bus_ && bus_->running(); }

private:
    TemporaryFolder folder_ {"vistel-session"};
    std::unique_ptr<PrivateSystemBus> bus_;
};
auto* const sessionBus = static_cast<PrivateSessionBus*>(::testing::AddGlobalTestEnvironment(new PrivateSessionBus));

using Items = BasicUIHandler::Items;

class BrowsingHandlerTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        CatalogueTest::SetUp();
        openCatalogue();
        handler_ = BrowsingUAHandler::create(nullptr);
        // "/" > the fixture folder, with two pictures (names with a space, '%', '#' and a byte
        // that is not UTF-8), a text file and a sub-folder.
        Ref<FileSystemItemMO> item = database_->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
        item->setWritable(true);
        for (const std::string& component : pathComponents(tree_.path()))
            if (component != "/") {
                item = database_->createChildOf(item.get(), component, MediaDatabase::EntityFolder);
                item->setWritable(true);
            }
        folder_ = item;
        writeJpeg(tree_ / "Trip 100% #1.jpg");
        writeJpeg(tree_ / "\xe9t\xe9.jpg");
        std::ofstream(tree_ / "notes.txt") << "text\n";
        ::mkdir((tree_ / "inner").c_str(), 0755);
        first_ = file("Trip 100% #1.jpg", MediaDatabase::EntityFile);
        second_ = file("\xe9t\xe9.jpg", MediaDatabase::EntityFile);
        text_ = file("notes.txt", MediaDatabase::EntityFile);
        inner_ = file("inner", MediaDatabase::EntityFolder);
        previousOpener_ = Workspace::setOpener([this](const std::string& url) {
            opened_.push_back(url);
            return true;
        });
    }
    void TearDown() override
    {
        Workspace::setOpener(std::move(previousOpener_));
        handler_ = nullptr;
        CatalogueTest::TearDown();
    }
    Ref<FileSystemItemMO> file(const std::string& name, const char* entity)
    {
        Ref<FileSystemItemMO> item = folder_->createChildWithName(name, entity, true);
        item->setValid(true);
        item->setWritable(true);
        item->setDecodable(std::string(entity) == MediaDatabase::EntityFile && name.ends_with(".jpg"));
        return item;
    }
    static Items items(std::initializer_list<Ref<FileSystemItemMO>> list)
    {
        Items out;
        for (const auto& item : list)
            out.push_back(Ref<Object>(item));
        return out;
    }
    static const QMimeData* clipboard() { return QGuiApplication::clipboard()->mimeData(); }
    std::vector<std::string> clipboardNames() const
    {
        std::vector<std::string> names;
        if (auto list = Pasteboard::generalPasteboard()->propertyListForType(NSFilenamesPboardType))
            for (const Value& name : list->asArray())
                names.push_back(name.toString());
        return names;
    }

    TemporaryFolder tree_ {"vistel-browse-handler"};
    Ref<BrowsingUAHandler> handler_;
    Ref<FileSystemItemMO> folder_, first_, second_, text_, inner_;
    std::vector<std::string> opened_;
    Workspace::Opener previousOpener_;
};

TEST_F(BrowsingHandlerTest, RowsNotYetBuiltValidateNoAndDoNothing)
{
    std::size_t answered = 0;
    const Items both = items({first_, second_});
    for (const auto& row : BrowsingUAHandler::actionTable()) {
        answered += row.answered;
        EXPECT_EQ(handler_->respondsToUserActionSelector(row.selector), row.answered) << row.selector;
        if (row.validate)
            continue;
        // However favourable the circumstances, a row without its worker stays off.
        EXPECT_FALSE(handler_->validateUserAction(row.selector, folder_.get(), &both, clipboard(), nullptr)) << row.selector;
        EXPECT_FALSE(handler_->processItems(both, folder_.get(), row.selector, clipboard(), nullptr)) << row.selector;
    }
    EXPECT_EQ(answered, 28u);
    // Full screen is the mode's own action, and the tabbed panel validates the Properties item.
    EXPECT_FALSE(handler_->respondsToUserActionSelector("goFullScreen:"));
    EXPECT_FALSE(handler_->respondsToUserActionSelector("showHidePropertiesPanel:"));
    EXPECT_FALSE(handler_->respondsToUserActionSelector("showInFinder:"));
    EXPECT_FALSE(handler_->respondsToUserActionSelector("frobnicate:"));
    EXPECT_FALSE(handler_->validateUserAction("frobnicate:", folder_.get(), &both, clipboard(), nullptr));
    EXPECT_FALSE(handler_->processItems(both, folder_.get(), "frobnicate:", clipboard(), nullptr));
}

TEST_F(BrowsingHandlerTest, CopyPutsTheNamesOnTheClipboardOrReadsThemFromIt)
{
    const Items none;
    const Items both = items({first_, second_});
    QGuiApplication::clipboard()->clear();
    struct Case {
        const Items* selection;
        bool expected;
    } before[] = {{&both, true}, {&none, false}, {nullptr, false}};
    for (const Case& c : before)
        EXPECT_EQ(handler_->validateUserAction("copy:", nullptr, c.selection, clipboard(), nullptr), c.expected);

    EXPECT_TRUE(handler_->processItems(both, nullptr, "copy:", clipboard(), nullptr));
    EXPECT_EQ(clipboardNames(), (std::vector<std::string> {first_->fullPath(), second_->fullPath()}));
    EXPECT_TRUE(clipboard()->hasFormat(Pasteboard::GnomeCopiedFilesMimeType));
    // Without items the names on the clipboard count.
    EXPECT_TRUE(handler_->validateUserAction("copy:", nullptr, nullptr, clipboard(), nullptr));

    // Another program's copy (a URI list only): copying without items takes those names.
    auto* foreign = new QMimeData;
    foreign->setData("text/uri-list", QByteArray::fromStdString(fileURLForPath(text_->fullPath()) + "\r\n"));
    QGuiApplication::clipboard()->setMimeData(foreign);
    EXPECT_TRUE(handler_->validateUserAction("copy:", nullptr, nullptr, clipboard(), nullptr));
    EXPECT_TRUE(handler_->processItems({}, nullptr, "copy:", clipboard(), nullptr));
    EXPECT_EQ(clipboardNames(), (std::vector<std::string> {text_->fullPath()}));
    EXPECT_TRUE(clipboard()->hasFormat(Pasteboard::FilenamesMimeType));
}

TEST_F(BrowsingHandlerTest, DropsOverAPictureFrameTakeFilesOnlyAndSayWhereTheyLand)
{
    // A picture frame: a volume described at a folder's place.
    TemporaryFolder frameFolder("vistel-frame");
    Ref<FileSystemItemMO> frame = makePictureFrame(*database_, frameFolder.path(), 7301);
    ASSERT_TRUE(frame);
    ASSERT_TRUE(frame->isWritable());
    ASSERT_TRUE(dynamic_cast<FileSystemVolumeMO*>(frame.get())->isDPFDevice());

    const Items files = items({first_, second_});
    const Items withFolder = items({first_, inner_});
    struct Case {
        Ref<FileSystemItemMO> folder;
        const Items* dropped;
        bool expected;
        int dropType;
    } cases[] = {
        {frame, &files, true, 1},
        {frame, &withFolder, false, -1},
        {folder_, &withFolder, true, 0},
        {nullptr, &files, false, -1},
    };
    for (const Case& c : cases) {
        ValidatedUserInterfaceItemProxy proxy("dropItems:", 0);
        proxy.setDropLocationType(-1);
        EXPECT_EQ(handler_->validateUserAction("dropItems:", c.folder.get(), c.dropped, nullptr, &proxy), c.expected);
        EXPECT_EQ(proxy.dropLocationType(), c.dropType);
        // Performed by the views, never here.
        EXPECT_FALSE(handler_->processItems(*c.dropped, c.folder.get(), "dropItems:", nullptr, &proxy));
    }
    folder_->setWritable(false);
    EXPECT_FALSE(handler_->validateUserAction("dropItems:", folder_.get(), &files, nullptr, nullptr));
    ZovVolumeManager::sharedVolumeManager().removeVolumeInfo(7301);
}

TEST_F(BrowsingHandlerTest, ContextMenuEntriesAreValidatedAndShowInFinderOpensTheFolder)
{
    auto titles = [](QMenu& menu) {
        std::vector<std::string> out;
        for (QAction* action : menu.actions())
            out.push_back(action->isSeparator() ? "-" : action->text().toStdString() + (action->isEnabled() ? "" : " (off)"));
        return out;
    };
    EXPECT_EQ(handler_->menuForItems({}, nullptr), nullptr);
    std::unique_ptr<QMenu> pictures(handler_->menuForItems(items({first_, second_}), nullptr));
    ASSERT_TRUE(pictures);
    EXPECT_EQ(titles(*pictures), (std::vector<std::string> {"Send to Frame (off)", "-", "Show in Finder", "Rename… (off)", "-",
                                                             "Rotate Right", "Rotate Left", "-", "Move to Trash"}));
    std::unique_ptr<QMenu> mixed(handler_->browsingControlPerformControlClick(nullptr, items({first_, inner_}), nullptr));
    ASSERT_TRUE(mixed);
    EXPECT_EQ(titles(*mixed), (std::vector<std::string> {"Send to Frame (off)", "-", "Show in Finder", "Rename… (off)", "-",
                                                          "Move to Trash"}));

    if (!sessionBus->running())
        VISTEL_SKIP_UNAVAILABLE() << "dbus-daemon could not be started";
    // No file manager on the (private) session bus: the item's folder opens.
    pictures->actions()[2]->trigger();
    ASSERT_TRUE(spinUntil([&] { return opened_.size() == 2; }, 10000));
    EXPECT_EQ(opened_, (std::vector<std::string>(2, fileURLForPath(tree_.path()))));
}

TEST_F(BrowsingHandlerTest, DoubleClickOpensPicturesAsDocumentsAndOtherFilesOnTheDesktop)
{
    ApplicationDocController& documents = ApplicationDocController::shared();
    const std::size_t before = documents.documents().size();
    handler_->browsingControlPerformDoubleClick(nullptr, items({first_, second_, inner_}), nullptr);
    EXPECT_EQ(documents.documents().size(), before + 2);
    EXPECT_TRUE(documents.documentForFile(first_->fullPath()));
    EXPECT_TRUE(documents.documentForFile(second_->fullPath()));
    EXPECT_TRUE(opened_.empty()); // the folder is not opened here

    handler_->browsingControlPerformDoubleClick(nullptr, items({text_}), nullptr);
    EXPECT_EQ(opened_, (std::vector<std::string> {fileURLForPath(text_->fullPath())}));
    EXPECT_EQ(documents.documents().size(), before + 2);
    for (const std::string& path : {first_->fullPath(), second_->fullPath()})
        if (Document* document = documents.documentForFile(path))
            document->close();
}

} // namespace
} // namespace vistel::test
