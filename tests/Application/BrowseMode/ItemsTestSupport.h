#pragma once
// Helpers of the items view tests: a catalogue in a temporary store with folders of files, a
// browsing selection over it, and a user-action handler that records what it is asked.

#include <sys/stat.h>

#include <QBuffer>
#include <QImage>
#include <QMenu>

#include <fstream>
#include <string>
#include <vector>

#include "Application/BrowseMode/BrowsingSelection.h"
#include "Application/BrowseMode/BrowsingUAHandler.h"
#include "CatalogueTestSupport.h"
#include "Platform/FilePaths.h"

namespace vistel::test {

// A small red JPEG at `path` (written by bytes: the name need not be UTF-8).
inline void writeJpeg(const std::string& path)
{
    QImage image(16, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "JPEG"));
    std::ofstream(path, std::ios::binary).write(bytes.constData(), bytes.size());
}

// Records the calls of the items view controls; answers as configured.
class RecordingHandler : public BrowsingControlUserActionsProtocol {
public:
    struct Call {
        std::string what; // "click", "doubleClick", "controlClick", "process:<action>", "validate:<action>"
        std::vector<std::string> names;
        Object* location = nullptr;
    };

    void browsingControlPerformClick(QObject*, const Items& selection, QObject*) override { record("click", selection); }
    void browsingControlPerformDoubleClick(QObject*, const Items& selection, QObject*) override
    {
        record("doubleClick", selection);
    }
    QMenu* browsingControlPerformControlClick(QObject*, const Items& selection, QObject*) override
    {
        record("controlClick", selection);
        auto* menu = new QMenu;
        menu->addAction("Entry");
        lastMenu = menu;
        return menu;
    }
    bool processItems(const Items& items, Object* location, const std::string& action, const QMimeData*,
                      QObject*) override
    {
        record("process:" + action, items, location);
        return processAnswer;
    }
    bool validateUserAction(const std::string& action, Object* location, const Items* selection, const QMimeData*,
                            QObject*) override
    {
        record("validate:" + action, selection ? *selection : Items {}, location);
        return validateAnswer;
    }
    bool respondsToUserActionSelector(const std::string& action) const override
    {
        return action == "copy:" || action == "cut:" || action == "delete:" || action == "rotateLeft:";
    }
    std::uint32_t dragOperationForPath(const std::string&, const std::vector<std::string>&) const override
    {
        return dragOperation;
    }

    void record(const std::string& what, const Items& items, Object* location = nullptr)
    {
        Call call {what, {}, location};
        for (const Ref<Object>& object : items)
            if (auto* item = dynamic_cast<FileSystemItemMO*>(object.get()))
                call.names.push_back(item->name());
        calls.push_back(std::move(call));
    }
    std::vector<std::string> whats() const
    {
        std::vector<std::string> out;
        for (const Call& call : calls)
            out.push_back(call.what);
        return out;
    }
    const Call* last(const std::string& what) const
    {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it)
            if (it->what == what)
                return &*it;
        return nullptr;
    }

    std::vector<Call> calls;
    bool processAnswer = true;
    bool validateAnswer = true;
    std::uint32_t dragOperation = 1;
    QMenu* lastMenu = nullptr;
};

// A catalogue whose root_ is a temporary folder on disk, folders of small JPEGs made on disk
// and in the catalogue alike (so the catalogue's own refreshes keep them), and a browsing
// selection.
class ItemsCatalogueTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        openCatalogue();
        Ref<FileSystemItemMO> item = database_->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
        item->setValid(true);
        for (const std::string& component : pathComponents(tree_.path()))
            if (component != "/") {
                Ref<FileSystemItemMO> child = database_->createChildOf(item.get(), component, MediaDatabase::EntityFolder);
                child->setValid(true);
                item = child;
            }
        root_ = item;
        root_->setRefreshStatus(0);
        selection_ = BrowsingSelection::create();
    }
    void TearDown() override
    {
        selection_ = nullptr;
        database_->stopJobs();
        CatalogueTest::TearDown();
    }
    Ref<FileSystemItemMO> folder(const Ref<FileSystemItemMO>& parent, const std::string& name,
                                 const std::vector<std::string>& files)
    {
        ::mkdir((parent->fullPath() + "/" + name).c_str(), 0755);
        Ref<FileSystemItemMO> item = listedFolderItem(parent, name);
        for (const std::string& name : files)
            file(item, name);
        return item;
    }
    Ref<FileSystemItemMO> file(const Ref<FileSystemItemMO>& parent, const std::string& name)
    {
        writeJpeg(parent->fullPath() + "/" + name);
        return pictureItem(parent, name);
    }
    std::vector<std::string> names(const ItemList& items) const
    {
        std::vector<std::string> out;
        for (const auto& item : items)
            out.push_back(item ? item->name() : "<null>");
        return out;
    }

    TemporaryFolder tree_ {"vistel-items"};
    Ref<FileSystemItemMO> root_;
    Ref<BrowsingSelection> selection_;
};

} // namespace vistel::test
