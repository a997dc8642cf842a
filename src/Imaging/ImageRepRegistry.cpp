#include "Imaging/ImageRepRegistry.h"

#include <algorithm>
#include <mutex>

#include <QString>

namespace vistel {

namespace {

std::mutex& registryLock()
{
    static std::mutex lock;
    return lock;
}

std::vector<ImageRepRegistry::ImageRepClass>& classes()
{
    static std::vector<ImageRepRegistry::ImageRepClass> list;
    return list;
}

// A copy, so that callbacks (which may decode) run without the lock.
std::vector<ImageRepRegistry::ImageRepClass> snapshot()
{
    std::lock_guard guard(registryLock());
    return classes();
}

void appendUnique(std::vector<std::string>& list, const std::vector<std::string>& items)
{
    for (const std::string& item : items)
        if (std::find(list.begin(), list.end(), item) == list.end())
            list.push_back(item);
}

} // namespace

void ImageRepRegistry::registerImageRepClass(ImageRepClass imageRepClass)
{
    std::lock_guard guard(registryLock());
    for (ImageRepClass& existing : classes()) {
        if (existing.name == imageRepClass.name) {
            existing = std::move(imageRepClass);
            return;
        }
    }
    classes().push_back(std::move(imageRepClass));
}

void ImageRepRegistry::unregisterImageRepClass(std::string_view name)
{
    std::lock_guard guard(registryLock());
    std::erase_if(classes(), [&](const ImageRepClass& c) { return c.name == name; });
}

std::vector<std::string> ImageRepRegistry::registeredImageRepClassNames()
{
    std::vector<std::string> names;
    for (const ImageRepClass& c : snapshot())
        names.push_back(c.name);
    return names;
}

bool ImageRepRegistry::imageRepClassForData(const Data& data, ImageRepClass* out)
{
    if (!data)
        return false;
    for (ImageRepClass& c : snapshot()) {
        if (c.canInitWithData && c.canInitWithData(data)) {
            if (out)
                *out = std::move(c);
            return true;
        }
    }
    return false;
}

bool ImageRepRegistry::imageRepClassForFileType(std::string_view extension, ImageRepClass* out)
{
    const std::string wanted = QString::fromUtf8(extension.data(), qsizetype(extension.size())).toLower().toStdString();
    for (ImageRepClass& c : snapshot()) {
        if (!c.imageUnfilteredFileTypes)
            continue;
        for (const std::string& type : c.imageUnfilteredFileTypes()) {
            if (type == wanted) {
                if (out)
                    *out = std::move(c);
                return true;
            }
        }
    }
    return false;
}

bool ImageRepRegistry::imageRepClassForType(std::string_view typeIdentifier, ImageRepClass* out)
{
    for (ImageRepClass& c : snapshot()) {
        if (!c.imageUnfilteredTypes)
            continue;
        const std::vector<std::string> types = c.imageUnfilteredTypes();
        if (std::find(types.begin(), types.end(), typeIdentifier) != types.end()) {
            if (out)
                *out = std::move(c);
            return true;
        }
    }
    return false;
}

std::vector<std::string> ImageRepRegistry::imageUnfilteredFileTypes()
{
    std::vector<std::string> all;
    for (const ImageRepClass& c : snapshot())
        if (c.imageUnfilteredFileTypes)
            appendUnique(all, c.imageUnfilteredFileTypes());
    return all;
}

std::vector<std::string> ImageRepRegistry::imageUnfilteredTypes()
{
    std::vector<std::string> all;
    for (const ImageRepClass& c : snapshot())
        if (c.imageUnfilteredTypes)
            appendUnique(all, c.imageUnfilteredTypes());
    return all;
}

Ref<MultiImage> ImageRepRegistry::imageWithData(const Data& data)
{
    ImageRepClass c;
    if (!imageRepClassForData(data, &c) || !c.imageRepWithData)
        return nullptr;
    Ref<ImageRep> rep = c.imageRepWithData(data);
    if (!rep)
        return nullptr;
    Ref<MultiImage> image = MultiImage::create(rep->size());
    image->addRepresentation(std::move(rep));
    return image;
}

} // namespace vistel
