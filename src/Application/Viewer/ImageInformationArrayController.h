#pragma once
// ImageInformationArrayController: the viewer's list model. Its content ("arrangedObjects")
// is the picture list; its selection ("selection", an IndexSet) names the current picture.
// Observers hear of each change with the value before and after.
//
// Thread rules: main thread. An observer may add or remove observers while it is told.

#include <string>
#include <vector>

#include "Platform/IndexSet.h"
#include "Platform/Object.h"

namespace vistel {

class ImageInformation;
class ImageInformationArrayController;

inline constexpr const char* ArrangedObjectsKeyPath = "arrangedObjects";
inline constexpr const char* SelectionKeyPath = "selection";

using ImageInformationList = std::vector<Ref<ImageInformation>>;

// One change: for "arrangedObjects" the content before and after, for "selection" the selection
// indexes before and after.
struct ArrayControllerChange {
    ImageInformationList oldObjects;
    ImageInformationList newObjects;
    IndexSet oldSelection;
    IndexSet newSelection;
};

class ArrayControllerObserver {
public:
    virtual void observeValueForKeyPath(const std::string& keyPath, ImageInformationArrayController& controller,
                                        const ArrayControllerChange& change) = 0;

protected:
    ~ArrayControllerObserver() = default;
};

class ImageInformationArrayController {
public:
    ImageInformationArrayController() = default;
    ImageInformationArrayController(const ImageInformationArrayController&) = delete;
    ImageInformationArrayController& operator=(const ImageInformationArrayController&) = delete;

    const ImageInformationList& arrangedObjects() const { return content_; }
    // Replaces the content ("arrangedObjects"); selected indexes past the new end are dropped
    // ("selection" then too). Inserted objects are never selected by themselves.
    void setContent(ImageInformationList content);

    const IndexSet& selectionIndexes() const { return selection_; }
    // Indexes past the end are dropped; "selection" is told when the set changed. Answers
    // whether it changed.
    bool setSelectionIndexes(const IndexSet& indexes);
    ImageInformationList selectedObjects() const;

    // Registers for both key paths; once per observer.
    void addObserver(ArrayControllerObserver* observer);
    void removeObserver(ArrayControllerObserver* observer);
    bool hasObserver(const ArrayControllerObserver* observer) const;

private:
    void tell(const char* keyPath, const ArrayControllerChange& change);
    IndexSet inRange(const IndexSet& indexes) const;

    ImageInformationList content_;
    IndexSet selection_;
    std::vector<ArrayControllerObserver*> observers_;
};

} // namespace vistel
