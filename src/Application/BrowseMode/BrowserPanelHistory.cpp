#include "Application/BrowseMode/BrowserPanelHistory.h"

#include <exception>

#include "Platform/Formatter.h"
#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"
#include "ZovTranslatorManager.h"

namespace vistel {

Ref<BrowserPanelHistory> BrowserPanelHistory::create(IBrowserPanelHistorySource* browserPanel)
{
    return Ref<BrowserPanelHistory>::adopt(new BrowserPanelHistory(browserPanel));
}

BrowserPanelHistory::BrowserPanelHistory(IBrowserPanelHistorySource* browserPanel)
    : browserPanel_(browserPanel)
{
    if (browserPanel_)
        NotificationCenter::defaultCenter().addObserver(
            this, [this](const Notification&) { browserPanelSelectionChanged(); }, BrowserPanelSelectionChangedNotification,
            browserPanel_->historyNotificationSender());
    database_ = Ref<MediaDatabase>(MediaDatabase::defaultMediaDatabase());
    if (database_)
        database_->addItemUpdateObserver(this, nullptr);
    // A selection the sidebar made before the history existed (the start folder, found while
    // the sidebar was being built) is its first entry, as if it had been heard.
    browserPanelSelectionChanged();
}

BrowserPanelHistory::~BrowserPanelHistory()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (database_)
        database_->removeItemUpdateObserver(this, nullptr);
}

void BrowserPanelHistory::detachBrowserPanel()
{
    NotificationCenter::defaultCenter().removeObserver(this, BrowserPanelSelectionChangedNotification, nullptr);
    browserPanel_ = nullptr;
}

void BrowserPanelHistory::setCurrentItemIndex(std::uint64_t index)
{
    currentItemIndex_ = index;
    updateControls();
}

void BrowserPanelHistory::setNavigationToolbarCell(Ref<NavigationToolbarCell> cell)
{
    navigationToolbarCell_ = std::move(cell);
    updateControls();
}

// --- reading ---------------------------------------------------------------------------------------

const BrowserPanelHistory::Entry* BrowserPanelHistory::currentItem()
{
    if (currentItemIndex_ == NoIndex)
        return nullptr;
    if (currentItemIndex_ >= historyArray_.size() && !historyArray_.empty())
        currentItemIndex_ = historyArray_.size() - 1;
    if (currentItemIndex_ >= historyArray_.size()) {
        ZovLog("BrowserPanelHistory::currentItem currentItemIndex is invalid");
        return nullptr;
    }
    return &historyArray_[currentItemIndex_];
}

const BrowserPanelHistory::Entry* BrowserPanelHistory::lastItem() const
{
    if (currentItemIndex_ == NoIndex || historyArray_.empty())
        return nullptr;
    return &historyArray_.back();
}

std::uint64_t BrowserPanelHistory::previousItemIndex() const
{
    if (currentItemIndex_ == NoIndex || currentItemIndex_ >= historyArray_.size()) {
        if (!historyArray_.empty())
            ZovLog("BrowserPanelHistory::previousItem current item not found");
        for (std::size_t i = historyArray_.size(); i-- > 0;)
            if (isItemValid(historyArray_[i]))
                return i;
        return NoIndex;
    }
    for (std::uint64_t i = currentItemIndex_; i-- > 0;)
        if (isItemValid(historyArray_[i]))
            return i;
    return NoIndex;
}

std::uint64_t BrowserPanelHistory::nextItemIndex() const
{
    if (currentItemIndex_ == NoIndex || currentItemIndex_ >= historyArray_.size()) {
        if (!historyArray_.empty())
            ZovLog("BrowserPanelHistory::nextItem current item not found");
        for (std::size_t i = 0; i < historyArray_.size(); ++i)
            if (isItemValid(historyArray_[i]))
                return i;
        return NoIndex;
    }
    for (std::uint64_t i = currentItemIndex_ + 1; i < historyArray_.size(); ++i)
        if (isItemValid(historyArray_[i]))
            return i;
    return NoIndex;
}

Ref<Object> BrowserPanelHistory::parentItem()
{
    const Entry* current = currentItem();
    if (!browserPanel_ || !current || !isItemValid(*current) || current->size() != 1)
        return {};
    return browserPanel_->historyParentForItem(*current->front());
}

std::string BrowserPanelHistory::joinedNames(std::uint64_t index) const
{
    if (!browserPanel_ || index == NoIndex || index >= historyArray_.size() || historyArray_[index].empty())
        return {};
    std::string names;
    for (const Ref<Object>& item : historyArray_[index]) {
        if (!names.empty())
            names += "/";
        names += browserPanel_->historyItemName(*item);
    }
    return names;
}

std::string BrowserPanelHistory::previousFolderName() const
{
    const std::string names = joinedNames(previousItemIndex());
    return names.empty() ? names : vistel::format(ZOV_TRANSLATE("Back to \"%@\"", "previousFolderName"), names);
}

std::string BrowserPanelHistory::nextFolderName() const
{
    const std::string names = joinedNames(nextItemIndex());
    return names.empty() ? names : vistel::format(ZOV_TRANSLATE("Forward to \"%@\"", "nextFolderName"), names);
}

std::string BrowserPanelHistory::upFolderName()
{
    Ref<Object> parent = parentItem();
    if (!parent || !browserPanel_->historyIsFileSystemItem(*parent))
        return {};
    return vistel::format(ZOV_TRANSLATE("Up to \"%@\"", "upFolderName"), browserPanel_->historyItemName(*parent));
}

bool BrowserPanelHistory::isItemsEqual(const Entry& first, const Entry& second)
{
    if (first.size() != second.size())
        return false;
    for (std::size_t i = 0; i < first.size(); ++i)
        if (first[i].get() != second[i].get())
            return false;
    return true;
}

std::uint64_t BrowserPanelHistory::getItemIndex(const Entry& entry, bool forwardSearch) const
{
    const std::size_t count = historyArray_.size();
    for (std::size_t n = 0; n < count; ++n) {
        const std::size_t i = forwardSearch ? n : count - 1 - n;
        if (isItemsEqual(historyArray_[i], entry))
            return i;
    }
    return NoIndex;
}

// --- recording -------------------------------------------------------------------------------------

void BrowserPanelHistory::browserPanelSelectionChanged()
{
    if (lockHistoryUpdate_ || !browserPanel_)
        return;
    Entry entry = browserPanel_->historySelectedItems();
    if (!historyArray_.empty() && isItemsEqual(entry, historyArray_.back()))
        return;
    if (entry.empty()) {
        setCurrentItemIndex(NoIndex); // the entries stay: Back goes to the last one
        return;
    }
    // A late echo of the history's own move (a sidebar that tells of it after the fact).
    if (const Entry* current = currentItem(); current && isItemsEqual(entry, *current))
        return;
    if (currentItemIndex_ != NoIndex && currentItemIndex_ + 1 < historyArray_.size())
        historyArray_.erase(historyArray_.begin() + std::ptrdiff_t(currentItemIndex_ + 1), historyArray_.end());
    historyArray_.push_back(std::move(entry));
    setCurrentItemIndex(historyArray_.size() - 1);
    if (historyArray_.size() > MaximumEntries) {
        historyArray_.erase(historyArray_.begin());
        --currentItemIndex_;
    }
}

// --- moving ------------------------------------------------------------------------------------------

bool BrowserPanelHistory::selectItem(std::uint64_t index)
{
    if (index == NoIndex || index >= historyArray_.size()) {
        ZovLog("BrowserPanelHistory::selectItem can't find item in history");
        return false;
    }
    setCurrentItemIndex(index);
    return true;
}

void BrowserPanelHistory::navigateToItemWithIndex(std::uint64_t index)
{
    if (index == NoIndex)
        return;
    selectItem(index);
    const Entry* current = currentItem();
    if (browserPanel_ && current && isItemValid(*current)) {
        const Entry items = *current; // the sidebar may call back while rows are revealed
        std::vector<int> rows;
        for (const Ref<Object>& item : items) {
            const int row = browserPanel_->historyRevealItem(*item);
            if (row >= 0)
                rows.push_back(row);
        }
        if (!rows.empty()) {
            lockHistoryUpdate_ = true;
            try {
                browserPanel_->historySelectRows(rows);
            } catch (...) {
                lockHistoryUpdate_ = false;
                throw;
            }
            lockHistoryUpdate_ = false;
        }
    }
    updateControls();
}

void BrowserPanelHistory::navigateParent()
{
    Ref<Object> parent = parentItem();
    if (!parent)
        return;
    const int row = browserPanel_->historyRevealItem(*parent);
    if (row >= 0)
        browserPanel_->historySelectRows({row}); // recorded like the user's choice
}

void BrowserPanelHistory::clear()
{
    historyArray_.clear();
    currentItemIndex_ = NoIndex;
}

void BrowserPanelHistory::updateControls()
{
    if (!navigationToolbarCell_)
        return;
    try {
        const std::string names[] = {previousFolderName(), nextFolderName(), upFolderName()};
        for (int segment = 0; segment < 3; ++segment) {
            navigationToolbarCell_->setToolTipForSegment(names[segment], segment);
            navigationToolbarCell_->setEnabledForSegment(!names[segment].empty(), segment);
        }
    } catch (const std::exception& error) {
        ZovLog(std::string("BrowserPanelHistory::updateControls ") + error.what());
        clear();
    }
}

void BrowserPanelHistory::notifyFSItemChanged(FileSystemItemMO* item, bool reloadChildren)
{
    if (item || !reloadChildren)
        return;
    clear();
    updateControls();
}

} // namespace vistel
