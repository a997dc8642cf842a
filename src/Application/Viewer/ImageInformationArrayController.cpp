#include "Application/Viewer/ImageInformationArrayController.h"

#include <algorithm>

#include "Application/Viewer/ImageInformation.h"

namespace vistel {

IndexSet ImageInformationArrayController::inRange(const IndexSet& indexes) const
{
    IndexSet kept = indexes;
    kept.removeRange(content_.size(), NSNotFound);
    return kept;
}

void ImageInformationArrayController::setContent(ImageInformationList content)
{
    ArrayControllerChange change;
    change.oldObjects = std::move(content_);
    content_ = std::move(content);
    change.newObjects = content_;
    tell(ArrangedObjectsKeyPath, change);
    setSelectionIndexes(selection_);
}

bool ImageInformationArrayController::setSelectionIndexes(const IndexSet& indexes)
{
    IndexSet kept = inRange(indexes);
    if (kept == selection_)
        return false;
    ArrayControllerChange change;
    change.oldSelection = std::exchange(selection_, std::move(kept));
    change.newSelection = selection_;
    tell(SelectionKeyPath, change);
    return true;
}

ImageInformationList ImageInformationArrayController::selectedObjects() const
{
    ImageInformationList objects;
    selection_.enumerate([&](std::uint64_t index) {
        objects.push_back(content_[index]);
        return true;
    });
    return objects;
}

void ImageInformationArrayController::addObserver(ArrayControllerObserver* observer)
{
    if (observer && !hasObserver(observer))
        observers_.push_back(observer);
}

void ImageInformationArrayController::removeObserver(ArrayControllerObserver* observer)
{
    std::erase(observers_, observer);
}

bool ImageInformationArrayController::hasObserver(const ArrayControllerObserver* observer) const
{
    return std::find(observers_.begin(), observers_.end(), observer) != observers_.end();
}

void ImageInformationArrayController::tell(const char* keyPath, const ArrayControllerChange& change)
{
    // Observers may come and go while they are told: each is told only while registered.
    const std::vector<ArrayControllerObserver*> observers = observers_;
    for (ArrayControllerObserver* observer : observers)
        if (hasObserver(observer))
            observer->observeValueForKeyPath(keyPath, *this, change);
}

} // namespace vistel
