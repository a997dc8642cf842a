#include "Application/FileOperationLauncher.h"

#include <map>
#include <memory>
#include <utility>

#include "Application/ApplicationContinuousUserActionHandlersRegistry.h"
#include "Operations/FileOperation.h"

namespace vistel {

namespace {

FileOperationLauncher* installedLauncher = nullptr;

class OperationsLauncher final : public FileOperationLauncher {
public:
    void deleteObjects(const std::vector<std::string>& paths) override { FileOperation::deleteObjects(paths); }
    void moveToTrash(const std::vector<std::string>& paths) override { FileOperation::moveToTrash(paths); }
    int createFolder(const std::string& path) override { return FileOperation::createFolder(path); }
};

// What the quit-time registry asks a running operation, answered by the operation itself.
class RegisteredOperation final : public ApplicationContinuousUserActionHandler {
public:
    explicit RegisteredOperation(FileOperation& operation)
        : operation_(&operation)
    {
    }
    unsigned applicationShouldTerminate(ApplicationContinuousUserActionHandlersRegistry&,
                                        std::optional<std::string>& source, std::optional<std::string>& destination,
                                        std::optional<std::string>& description) override
    {
        std::string from, to, what;
        const int reply = operation_->applicationShouldTerminate(&from, &to, &what);
        source = std::move(from);
        destination = std::move(to);
        description = std::move(what);
        return static_cast<unsigned>(reply);
    }

private:
    Ref<FileOperation> operation_;
};

// The registered adapters by operation; main thread only, like the hooks that fill it.
std::map<FileOperation*, std::unique_ptr<RegisteredOperation>>& registeredOperations()
{
    static auto* adapters = new std::map<FileOperation*, std::unique_ptr<RegisteredOperation>>();
    return *adapters;
}

} // namespace

// The flags and status interval every copy and move of the browse mode passes: skip unreadable
// source items, report ten times a second.
constexpr std::uint32_t BrowseOperationFlags = 2;
constexpr double BrowseStatusInterval = 0.1;

void FileOperationLauncher::copyObjects(const std::vector<std::string>& paths, const std::string& destinationFolder,
                                        const Value& options)
{
    FileOperation::copyObjects(paths, destinationFolder, BrowseOperationFlags, BrowseStatusInterval, options);
}

void FileOperationLauncher::moveObjects(const std::vector<std::string>& paths, const std::string& destinationFolder,
                                        const Value& options)
{
    FileOperation::moveObjects(paths, destinationFolder, BrowseOperationFlags, BrowseStatusInterval, options);
}

void FileOperationLauncher::rename(const std::string& path, const std::string& newName)
{
    FileOperation::rename(path, newName);
}

FileOperationLauncher* FileOperationLauncher::installed() { return installedLauncher; }

FileOperationLauncher* FileOperationLauncher::install(FileOperationLauncher* launcher)
{
    return std::exchange(installedLauncher, launcher);
}

void installFileOperations()
{
    static OperationsLauncher* launcher = nullptr;
    if (launcher)
        return;
    launcher = new OperationsLauncher();
    FileOperationLauncher::install(launcher);
    setFileOperationRegistryHooks({
        [](FileOperation& operation) {
            auto& adapters = registeredOperations();
            auto [entry, added] = adapters.emplace(&operation, std::make_unique<RegisteredOperation>(operation));
            if (added)
                ApplicationContinuousUserActionHandlersRegistry::defaultRegistry().registerACUAH(entry->second.get());
        },
        [](FileOperation& operation) {
            auto& adapters = registeredOperations();
            const auto entry = adapters.find(&operation);
            if (entry == adapters.end())
                return;
            ApplicationContinuousUserActionHandlersRegistry::defaultRegistry().unregisterACUAH(entry->second.get());
            adapters.erase(entry);
        },
    });
}

} // namespace vistel
