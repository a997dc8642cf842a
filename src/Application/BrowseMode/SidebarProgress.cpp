#include "Application/BrowseMode/SidebarProgress.h"

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Preferences/Preferences.h"

namespace vistel {

bool catalogueItemIsInProgress(FileSystemItemMO* item)
{
    if (!item || !item->isValid())
        return false;
    const int mask = static_cast<int>(ItemsViewPreferences::getItemsMask()) | kMaskFolders | kMaskFiles;
    return item->childrenRefreshStatusWithMask(mask) == 1 || item->hasPendingRefreshStatusRequests();
}

bool catalogueItemNeedsRefresh(FileSystemItemMO* item)
{
    return item && item->needsRefresh();
}

} // namespace vistel
