#pragma once
// ProcessesUsingPath: which processes keep a file system busy.
//
// A volume that cannot be unmounted is held by some process: its current folder or root is
// on it, it has a file there open, or it has a file from there mapped into memory. This scans
// /proc/<pid>/cwd, root, every fd and the maps of every process the caller may inspect for
// paths at or under a folder (compared as text, as the kernel shows them; a deleted file's
// " (deleted)" suffix is ignored) and names each process by its command name (comm).
//
// Processes the caller may not inspect (another user's, without privilege) are skipped; the
// scan never fails as a whole. Any thread.

#include <sys/types.h>

#include <string>
#include <vector>

namespace vistel {

struct ProcessUsingPath {
    pid_t pid = 0;
    // The command name ("/proc/<pid>/comm", at most 15 bytes), or empty when unreadable.
    std::string command;
};

// Every process using `folder` or something under it, by rising pid. `procRoot` is where the
// process table is mounted ("/proc").
std::vector<ProcessUsingPath> processesUsingPath(const std::string& folder, const std::string& procRoot = "/proc");

// The command name of the process that keeps `folder` busy: the first one that is not the
// calling process, else the calling process's own; empty when none is found.
std::string dissentingProcessName(const std::string& folder, const std::string& procRoot = "/proc");

} // namespace vistel
