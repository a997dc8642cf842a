#include "ZovTranslatorPbxBackend.h"

#include <deque>
#include <unordered_set>

#include "PbxProject.h"
#include "StringEncodings.h"
#include "TranslatorFiles.h"
#include "ZovTranslatorManager.h"
#include "Platform/FilePaths.h"
#include "backends/ZovTranslatorSourceBackend.h"

namespace vistel {

namespace {

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

struct QueuedGroup {
    std::string identifier;
    std::string basePath;
};

} // namespace

std::string ZovTranslatorPbxBackend::description()
{
    return ZOV_TRANSLATE_CLASS("", "description");
}

bool ZovTranslatorPbxBackend::load(Ref<ZovTranslatorData>& data, const std::string& path, const Value&)
{
    data = ZovTranslatorData::translatorData();
    const std::string projectFolder = parentFolderPath(path);
    // A path already absolute (an absolute project directory or group) is not put under the
    // project folder again.
    const auto underProjectFolder = [&](const std::string& relative) {
        return !relative.empty() && relative[0] == '/' ? relative : joinPath(projectFolder, relative);
    };

    auto project = PbxProject::projectWithFileName(joinPath(path, "project.pbxproj"));
    if (!project)
        return false;
    const auto rootObject = project->itemForKey("rootObject");
    const auto objects = project->itemForKey("objects");
    if (!rootObject || !rootObject->isString() || !objects || !objects->isDictionary())
        return false;
    const auto projectObject = objects->itemForKey(rootObject->string());
    if (!projectObject || !projectObject->isDictionary() || !projectObject->isProject())
        return false;
    const auto projectDirPath = projectObject->itemForKey("projectDirPath");
    const auto mainGroup = projectObject->itemForKey("mainGroup");
    if (!projectDirPath || !projectDirPath->isString() || !mainGroup || !mainGroup->isString())
        return false;

    std::deque<QueuedGroup> queue {{mainGroup->string(), projectDirPath->string()}};
    std::unordered_set<std::string> visited;
    while (!queue.empty()) {
        QueuedGroup current = std::move(queue.front());
        queue.pop_front();
        // Each group is read once, even when several groups list it: a project file is
        // untrusted, and shared groups would otherwise multiply the work.
        if (!visited.insert(current.identifier).second)
            continue;

        const auto group = objects->itemForKey(current.identifier);
        if (!group || !group->isDictionary() || !group->isGroup())
            return false;
        const auto groupPathItem = group->itemForKey("path");
        if (groupPathItem && !groupPathItem->isString())
            return false;
        const std::string groupPath = groupPathItem ? groupPathItem->string() : std::string();
        const auto sourceTree = group->itemForKey("sourceTree");
        if (!sourceTree || !sourceTree->isString())
            return false;

        std::string relativePath, fullPath;
        if (sourceTree->string() == "<absolute>") {
            relativePath = fullPath = groupPath;
        } else if (sourceTree->string() == "<group>") {
            relativePath = joinPath(current.basePath, groupPath);
            fullPath = underProjectFolder(relativePath);
        } else if (sourceTree->string() == "SOURCE_ROOT") {
            relativePath = joinPath(projectDirPath->string(), groupPath);
            fullPath = underProjectFolder(relativePath);
        } else {
            continue; // another source tree: the group and all it contains are passed over
        }

        const auto children = group->itemForKey("children");
        if (!children || !children->isArray())
            return false;
        for (const PbxItem& child : children->array()) {
            if (!child.isString())
                continue;
            const auto object = objects->itemForKey(child.string());
            if (!object)
                return false;
            if (object->isGroup()) {
                if (!visited.count(child.string()))
                    queue.push_back({child.string(), relativePath});
                continue;
            }
            if (!object->isFileReference())
                continue;
            const auto type = object->itemForKey("lastKnownFileType");
            if (!type || !type->isString() || !(endsWith(type->string(), ".objc") || endsWith(type->string(), ".objcpp")))
                continue;
            const auto encoding = object->itemForKey("fileEncoding");
            if (!encoding || !encoding->isString())
                return false;
            if (!isAvailableStringEncoding(static_cast<std::uint32_t>(intValueOfString(encoding->string()))))
                continue;
            const auto filePathItem = object->itemForKey("path");
            const auto fileTree = object->itemForKey("sourceTree");
            if (!filePathItem || !filePathItem->isString() || !fileTree || !fileTree->isString())
                return false;
            std::string filePath;
            if (fileTree->string() == "<absolute>")
                filePath = filePathItem->string();
            else if (fileTree->string() == "<group>")
                filePath = joinPath(fullPath, filePathItem->string());
            else if (fileTree->string() == "SOURCE_ROOT")
                filePath = underProjectFolder(joinPath(projectDirPath->string(), filePathItem->string()));
            else
                continue;
            Ref<ZovTranslatorData> fileData;
            if (ZovTranslatorSourceBackend::load(fileData, filePath, Value()) && fileData)
                data->addTranslatorData(*fileData);
        }
    }
    return true;
}

} // namespace vistel
