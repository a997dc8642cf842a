// The factories through which browse mode starts file operations.

#include "Operations/BatchFileOperation.h"
#include "Operations/FoldersObjectsOperator.h"
#include "Platform/FilePaths.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

Value textOptions(const char* stopText, const char* explanationKey, const char* explanation, const char* selector)
{
    return Value::dictionary(
        {{kFolderProgressKeyStopButtonText, ZOV_TRANSLATE_AS(FileOperation::zovClass(), stopText, selector)},
         {explanationKey, ZOV_TRANSLATE_AS(FileOperation::zovClass(), explanation, selector)}});
}

Ref<FileOperation> startBatch(const FileOperation::Paths& paths, Value options, int type, std::string folder,
                              std::vector<std::string> names, std::uint32_t flags, double interval)
{
    Ref<BatchFileOperation> operation = BatchFileOperation::create(paths, std::move(options), type);
    operation->setDestinationFolder(std::move(folder));
    operation->setNames(std::move(names));
    operation->setFlags(flags);
    operation->setInterval(interval);
    Ref<FileOperation> result(operation);
    FileOperation::launch(result);
    return result;
}

} // namespace

Ref<FileOperation> FileOperation::copyObjects(const Paths& paths, const std::string& destinationFolder,
                                              std::uint32_t flags, double statusChangeInterval, const Value& options)
{
    return startBatch(paths, options, kFileOperationCopy, destinationFolder, {}, flags, statusChangeInterval);
}

Ref<FileOperation> FileOperation::moveObjects(const Paths& paths, const std::string& destinationFolder, std::uint32_t,
                                              double statusChangeInterval, const Value& options)
{
    return startBatch(paths, options, kFileOperationMove, destinationFolder, {},
                      kFSFileOperationSkipSourcePermissionErrors, statusChangeInterval);
}

Ref<FileOperation> FileOperation::moveToTrash(const Paths& paths)
{
    return startBatch(paths,
                      textOptions("Stop Deleting", kFolderProgressKeyExplanationWithoutDestination,
                                  "Move to trash \"%@\"", "moveToTrash:"),
                      kFileOperationMoveToTrash, {}, {}, 0, 0.1);
}

Ref<FileOperation> FileOperation::rename(const std::string& path, const std::string& newName)
{
    return startBatch({path},
                      textOptions("Stop Renaming", kFolderProgressKeyExplanationWithDestination,
                                  "Rename \"%@\" in \"%@\"", "rename:newName:"),
                      kFileOperationRename, parentFolderPath(path), {newName}, 0, 0.1);
}

Ref<FileOperation> FileOperation::deleteObjects(const Paths& paths)
{
    Ref<FileOperation> operation(FoldersObjectsOperator::create(
        paths,
        textOptions("Stop Deleting", kFolderProgressKeyExplanationWithoutDestination, "Delete \"%@\"", "deleteObjects:"),
        kFileOperationDelete));
    launch(operation);
    return operation;
}

} // namespace vistel
