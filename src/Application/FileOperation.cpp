#include "Application/FileOperation.h"

#include <utility>

namespace vistel {

namespace {
FileOperation* installedOperations = nullptr;
}

FileOperation* FileOperation::installed() { return installedOperations; }

FileOperation* FileOperation::install(FileOperation* operations)
{
    return std::exchange(installedOperations, operations);
}

} // namespace vistel
