#include "Application/FileOperationLauncher.h"

#include <map>
#include <memory>
#include <utility>

#include "Application/ApplicationContinuousUserActionHandlersRegistry.h"
#include "Operations/FileOperation.h"
#include "Operations/ImageConvertor.h"

namespace vistel {

namespace {

FileOperationLauncher* installedLauncher = nullptr;

class OperationsLauncher final : public FileOperationLauncher {
public:
    void deleteObjects(const std::vector<std::string>& paths) override { FileOperation::deleteObjects(paths); }
    void moveToTrash(const std::vector<std::string>& paths) override { FileOperation::moveToTrash(paths); }
    int createFolder(const std::string& path) override { return FileOperation::createFolder(path); }
};

// What the quit-time registry asks a running operation or conversion group, answered by the
// task itself.
template <class Task>
class RegisteredTask final : public ApplicationContinuousUserActionHandler {
public:
    explicit RegisteredTask(Task& task)
        : task_(&task)
    {
    }
    unsigned applicationShouldTerminate(ApplicationContinuousUserActionHandlersRegistry&,
                                        std::optional<std::string>& source, std::optional<std::string>& destination,
                                        std::optional<std::string>& description) override
    {
        std::string from, to, what;
        const auto reply = task_->applicationShouldTerminate(&from, &to, &what);
        source = std::move(from);
        destination = std::move(to);
        description = std::move(what);
        return static_cast<unsigned>(reply);
    }

private:
    Ref<Task> task_;
};

// The registered adapters by task; main thread only, like the hooks that fill them.
template <class Task>
std::map<Task*, std::unique_ptr<RegisteredTask<Task>>>& registeredTasks()
{
    static auto* adapters = new std::map<Task*, std::unique_ptr<RegisteredTask<Task>>>();
    return *adapters;
}

template <class Task>
void registerTask(Task& task)
{
    auto& adapters = registeredTasks<Task>();
    auto [entry, added] = adapters.emplace(&task, std::make_unique<RegisteredTask<Task>>(task));
    if (added)
        ApplicationContinuousUserActionHandlersRegistry::defaultRegistry().registerACUAH(entry->second.get());
}

template <class Task>
void unregisterTask(Task& task)
{
    auto& adapters = registeredTasks<Task>();
    const auto entry = adapters.find(&task);
    if (entry == adapters.end())
        return;
    ApplicationContinuousUserActionHandlersRegistry::defaultRegistry().unregisterACUAH(entry->second.get());
    adapters.erase(entry);
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

void FileOperationLauncher::convertImages(const std::vector<std::string>& paths, const std::string& outputFolder,
                                          const Value& options)
{
    ImageConvertor::sharedImageConvertor().addJobWithInputFiles(paths, outputFolder, options);
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
    setFileOperationRegistryHooks({registerTask<FileOperation>, unregisterTask<FileOperation>});
    setImageConvertorRegistryHooks({registerTask<ImageConvertorJobGroup>, unregisterTask<ImageConvertorJobGroup>});
}

} // namespace vistel
