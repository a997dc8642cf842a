// The browse mode's "printPictures:": the print window over the selected pictures.

#include "Application/BrowseMode/BrowsingUAHandler.h"

#include "Application/BasicModeController.h"
#include "Application/Printing/PrintWindow.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"

namespace vistel {

bool BrowsingUAHandler::canPrintItems(const Items& items)
{
    if (items.empty())
        return false;
    for (const Ref<Object>& object : items) {
        const auto* item = dynamic_cast<const FileSystemItemMO*>(object.get());
        if (!item || item->isFolder() || !item->isDecodable())
            return false;
    }
    return true;
}

PrintWindow* BrowsingUAHandler::printPictures(const Items& items)
{
    if (!canPrintItems(items))
        return nullptr;
    std::vector<Ref<FileSystemItemMO>> pictures;
    for (const Ref<Object>& object : items)
        pictures.emplace_back(dynamic_cast<FileSystemItemMO*>(object.get()));
    QWidget* owner = ownerController() && ownerController()->containerView() ? ownerController()->containerView()->window()
                                                                             : nullptr;
    auto* window = new PrintWindow(owner);
    window->setWindowFlag(Qt::Window);
    printWindow_ = window;
    window->setSelectedItems(std::move(pictures));
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

PrintWindow* BrowsingUAHandler::printWindow() const { return printWindow_; }

bool BrowsingUAHandler::validatePrint(const UserAction& a) { return canPrintItems(a.items()); }

bool BrowsingUAHandler::performPrint(const UserAction& a) { return printPictures(a.items()) != nullptr; }

} // namespace vistel
