#include "Application/BrowseMode/PlaceBrowserPanelItem.h"

namespace vistel {

Ref<PlaceBrowserPanelItem> PlaceBrowserPanelItem::create(FileSystemItemMO* item, ZovPlaceInfo* info)
{
    if (!item || !info)
        return {};
    return Ref<PlaceBrowserPanelItem>::adopt(new PlaceBrowserPanelItem(item, info));
}

std::string PlaceBrowserPanelItem::displayName() const
{
    return info_ ? info_->placeName() : item_->displayName();
}

} // namespace vistel
