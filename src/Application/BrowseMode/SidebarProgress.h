#pragma once
// What the sidebar's progress marks ask of the catalogue (the answers a
// ZOVProgressIndicatorHost gives for a catalogue item; a place item asks about its folder).
//
// Thread rules: main thread only, like the items.

namespace vistel {

class FileSystemItemMO;

// Whether the catalogue still has work on a folder: a valid item that itself, or one of its
// children passing the items mask plus folders and files, has a request queued. NO for null or
// an item that is not valid.
bool catalogueItemIsInProgress(FileSystemItemMO* item);

// Whether the item waits for a refresh of its own (it will be listed soon). NO for null.
bool catalogueItemNeedsRefresh(FileSystemItemMO* item);

} // namespace vistel
