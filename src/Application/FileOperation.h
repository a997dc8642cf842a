#pragma once
// FileOperation: the file operations the shell starts (delete, move to the Trash, new folder),
// as an interface that the file-operation layer installs at start-up. Until one is installed
// the actions that need it validate off; tests install a recording double.
//
// Thread rules: main thread.

#include <string>
#include <vector>

namespace vistel {

class FileOperation {
public:
    virtual ~FileOperation() = default;
    // Start asynchronous operations on the paths (one operation for the whole list).
    virtual void deleteObjects(const std::vector<std::string>& paths) = 0;
    virtual void moveToTrash(const std::vector<std::string>& paths) = 0;
    // Creates the folder now; 0 or a negative status.
    virtual int createFolder(const std::string& path) = 0;

    // The installed operations, or null. install() answers the previous ones; the caller keeps
    // ownership.
    static FileOperation* installed();
    static FileOperation* install(FileOperation* operations);
};

} // namespace vistel
