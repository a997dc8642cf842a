#pragma once
// The start-up sweep of partial copies: a copy or move killed mid-way (the program ended by a
// signal, a crash, a power cut) leaves its hidden partial item in the destination folder.
// Copies into a folder sweep it themselves; at start-up the folders the catalogue lists (every
// folder and volume item it holds) are swept once, on a worker, so that what was left in a
// folder nobody copies into again does not stay for ever. Only items that no live process
// holds and that were left untouched for a minute go (Platform/FileOperations/FileTree.h).
//
// Thread rules: main thread (the catalogue is read there; the folders are swept on the worker).

#include <functional>

namespace vistel {

class MediaDatabase;

// Reads the catalogue's folder paths now and sweeps them on a worker; `done`, when given, runs
// on the main loop once every folder was swept.
void sweepPartialCopiesInCataloguedFolders(MediaDatabase& catalogue, std::function<void()> done = {});

} // namespace vistel
