#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "Platform/FilePaths.h"

#include <map>
#include <mutex>
#include <string>

#include <sys/stat.h>

namespace vistel::NSImageNamedImageExtended {
namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, QImage, std::less<>> images;
};

Registry& registry()
{
    static Registry* const shared = new Registry; // lives for the process, used from any thread
    return *shared;
}

bool isRegularFile(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix)
{
    if (text.size() < suffix.size())
        return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = text[text.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

// The file that holds the image `name` in `folder` of the resources; empty when none.
std::string resourceFileFor(std::string_view name, std::string_view folder)
{
    // A name is one file name: nothing may lead out of the folder.
    if (!isPlainFileName(name))
        return {};
    const std::string base = Bundle::main()->resourcePath() + "/" + std::string(folder) + "/";
    std::string path = base + std::string(name);
    if (isRegularFile(path))
        return path;
    for (std::string_view extension : {".icns", ".tiff", ".tif"}) {
        if (endsWithIgnoringCase(name, extension)) {
            path = base + std::string(name.substr(0, name.size() - extension.size())) + ".png";
            return isRegularFile(path) ? path : std::string();
        }
    }
    return {};
}

} // namespace

void setImageName(std::string_view name, const QImage& image)
{
    Registry& shared = registry();
    std::lock_guard guard(shared.mutex);
    if (image.isNull()) {
        if (const auto found = shared.images.find(name); found != shared.images.end())
            shared.images.erase(found);
    } else {
        shared.images.insert_or_assign(std::string(name), image);
    }
}

QImage imageNamed(std::string_view name, std::string_view folder)
{
    Registry& shared = registry();
    {
        std::lock_guard guard(shared.mutex);
        if (const auto found = shared.images.find(name); found != shared.images.end())
            return found->second;
    }
    const std::string path = resourceFileFor(name, folder);
    if (path.empty())
        return {};
    QImage image(QString::fromStdString(path));
    if (image.isNull())
        return {};
    // Another thread may have loaded it meanwhile: everyone answers the first one registered.
    std::lock_guard guard(shared.mutex);
    return shared.images.emplace(std::string(name), std::move(image)).first->second;
}

QImage imageNamed(std::string_view name, std::string_view folder, QSize size)
{
    const QImage image = imageNamed(name, folder);
    if (image.isNull() || !size.isValid() || size.isEmpty() || image.size() == size)
        return image;
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace vistel::NSImageNamedImageExtended
