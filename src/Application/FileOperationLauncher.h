#pragma once
// FileOperationLauncher: how the shell starts file operations (delete, move to the Trash, new
// folder, copy, move, rename) and picture conversions (convert, resize, rename, Save As, rotate). The program installs the one over the file operations
// (installFileOperations) at start-up; until one is installed the actions that need it do
// nothing; tests install a recording double. Copy, move and rename start the real operations
// unless a launcher overrides them.
//
// Thread rules: main thread.

#include <string>
#include <vector>

#include "Platform/Value.h"

namespace vistel {

class FileOperationLauncher {
public:
    virtual ~FileOperationLauncher() = default;
    // Start asynchronous operations on the paths (one operation for the whole list).
    virtual void deleteObjects(const std::vector<std::string>& paths) = 0;
    virtual void moveToTrash(const std::vector<std::string>& paths) = 0;
    // Creates the folder now; 0 or a negative status.
    virtual int createFolder(const std::string& path) = 0;
    // Copy or move the paths into `destinationFolder` as one operation; `options` holds the
    // progress texts (kFolderProgressKey...).
    virtual void copyObjects(const std::vector<std::string>& paths, const std::string& destinationFolder,
                             const Value& options);
    virtual void moveObjects(const std::vector<std::string>& paths, const std::string& destinationFolder,
                             const Value& options);
    // Renames one item in its folder.
    virtual void rename(const std::string& path, const std::string& newName);
    // Starts a conversion batch of the pictures (files or folders) into `outputFolder` on the
    // shared conversion engine; `options` are the engine's (Operations/ImageConvertor.h: format,
    // quality, size, resize and rename rules, rotation, first answers, progress texts). A
    // rotation in place passes the pictures' own folder and ImageConvertor::rotationOptions().
    virtual void convertImages(const std::vector<std::string>& paths, const std::string& outputFolder,
                               const Value& options);

    // The installed launcher, or null. install() answers the previous one; the caller keeps
    // ownership.
    static FileOperationLauncher* installed();
    static FileOperationLauncher* install(FileOperationLauncher* launcher);
};

// Installs, once, the launcher over the file operations (src/Operations) and the hooks that
// register each running operation and conversion group with the quit-time registry.
void installFileOperations();

} // namespace vistel
