#pragma once
// A stand-in sidebar and navigation control for the navigation history's tests.

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "Application/BrowseMode/BrowserPanelHistory.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Platform/NotificationCenter.h"

namespace vistel::test {

// A sidebar: rows of items in order, a parent per item, the selected rows. Selecting posts
// "BrowserPanelSelectionChangedNotification" at once, as the sidebar does.
class FakeSidebar : public IBrowserPanelHistorySource {
public:
    struct Sender : Object { };
    // A named row that is a file-system item without a catalogue (a place).
    struct Place : Object {
        explicit Place(std::string n) : name(std::move(n)) { }
        std::string name;
    };

    const Object* historyNotificationSender() const override { return sender.get(); }
    std::vector<Ref<Object>> historySelectedItems() const override
    {
        std::vector<int> sorted = selected;
        std::sort(sorted.begin(), sorted.end());
        std::vector<Ref<Object>> items;
        for (int row : sorted)
            if (row >= 0 && std::size_t(row) < rows.size() && isFileSystemItem(rows[std::size_t(row)].get()))
                items.push_back(rows[std::size_t(row)]);
        return items;
    }
    bool historyIsFileSystemItem(const Object& item) const override { return isFileSystemItem(&item); }
    std::string historyItemName(const Object& item) const override
    {
        if (auto* place = dynamic_cast<const Place*>(&item))
            return place->name;
        auto* fs = dynamic_cast<const FileSystemItemMO*>(&item);
        return fs ? fs->name() : "group";
    }
    Ref<Object> historyParentForItem(const Object& item) const override
    {
        auto found = parents.find(&item);
        return found == parents.end() ? Ref<Object>() : found->second;
    }
    int historyRevealItem(const Object& item) override
    {
        ++reveals;
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i].get() == &item)
                return int(i);
        return -1;
    }
    void historySelectRows(const std::vector<int>& newRows) override { select(newRows); }

    void select(std::vector<int> newRows)
    {
        selected = std::move(newRows);
        NotificationCenter::defaultCenter().postNotificationName(BrowserPanelSelectionChangedNotification, sender);
    }
    void selectItems(const std::vector<Ref<FileSystemItemMO>>& items)
    {
        std::vector<int> found;
        for (const auto& item : items)
            found.push_back(historyRevealItem(*item));
        select(found);
    }
    int rowOf(const Object* item) const
    {
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i].get() == item)
                return int(i);
        return -1;
    }
    static bool isFileSystemItem(const Object* item)
    {
        return dynamic_cast<const FileSystemItemMO*>(item) || dynamic_cast<const Place*>(item);
    }

    Ref<Object> sender = makeRef<Sender>();
    std::vector<Ref<Object>> rows;
    std::map<const Object*, Ref<Object>> parents;
    std::vector<int> selected;
    int reveals = 0;
};

class RecordingCell : public NavigationToolbarCell {
public:
    void setToolTipForSegment(const std::string& toolTip, int segment) override { toolTips[segment] = toolTip; }
    void setEnabledForSegment(bool enabled, int segment) override { this->enabled[segment] = enabled; }
    std::string toolTips[3];
    bool enabled[3] = {true, true, true};
};

} // namespace vistel::test
