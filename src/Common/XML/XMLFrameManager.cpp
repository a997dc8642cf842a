#include "Common/XML/XMLFrameManager.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "Common/FileSystem/FileSystemFunctions.h"
#include "Platform/Formatter.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

// The whole file, when it is a regular file of at most `limit` bytes.
std::optional<std::string> readSmallFile(const std::string& path, std::size_t limit)
{
    // Non-blocking, so that a FIFO put in the file's place cannot hold the reader.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    std::optional<std::string> contents;
    errno = EINVAL;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && std::size_t(info.st_size) <= limit) {
        std::string bytes;
        char buffer[16384];
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0 || bytes.size() + std::size_t(got) > limit) {
                errno = EFBIG;
                break;
            }
            if (got == 0) {
                contents = std::move(bytes);
                break;
            }
            bytes.append(buffer, std::size_t(got));
        }
    }
    const int error = errno;
    ::close(fd);
    errno = error;
    return contents;
}

// The FAT hidden attribute; other file systems have none.
void hideOnFat(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return;
    struct statfs volume {};
    if (::fstatfs(fd, &volume) == 0 && volume.f_type == MSDOS_SUPER_MAGIC) {
        std::uint32_t attributes = 0;
        if (::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes) != 0
            || (attributes |= ATTR_HIDDEN, ::ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &attributes) != 0))
            ZovLog(vistel::format("Can't set hidden attribute ti file : %@", path));
    }
    ::close(fd);
}

struct StringWriter : pugi::xml_writer {
    Value::Bytes bytes;
    void write(const void* data, std::size_t size) override
    {
        const auto* begin = static_cast<const std::uint8_t*>(data);
        bytes.insert(bytes.end(), begin, begin + size);
    }
};

} // namespace

std::int32_t XMLFrameManager::ReadXMLFile(std::string_view path)
{
    if (path.empty()) {
        ZovLog("XMLFrameManager::ReadXMLFile file path is empty");
        return XMLResult::BadPath;
    }
    document_.reset();
    const std::string file(path);
    const std::optional<std::string> contents = readSmallFile(file, MaximumFileSize);
    if (!contents) {
        // A missing file is the common answer (a volume that is not a frame): not logged.
        if (errno != ENOENT)
            ZovLog(vistel::format("XMLFrameManager::ReadXMLFile can't read file %@", file));
        return XMLResult::NotParseable;
    }
    // parse_default leaves out the document type declaration and expands only the predefined
    // entities and character references; anything else stays text.
    auto document = std::make_shared<pugi::xml_document>();
    const pugi::xml_parse_result parsed
        = document->load_buffer(contents->data(), contents->size(), pugi::parse_default, pugi::encoding_auto);
    if (!parsed || !document->document_element())
        return XMLResult::NotParseable;
    document_ = std::move(document);
    return XMLResult::Done;
}

Ref<XMLNodeEnumerator> XMLFrameManager::getXMLNodeEnumerator(int nodeType) const
{
    if (!document_)
        return nullptr;
    return XMLNodeEnumerator::create(document_, nodeType);
}

Ref<XMLNodeEnumerator> XMLFrameManager::getDeviceProfileEnumerator() const
{
    return getXMLNodeEnumerator(XMLNodeType::DeviceProfile);
}

std::int32_t XMLFrameManager::saveToFile(std::string_view path) const
{
    if (!document_)
        return XMLResult::NotSaved;
    StringWriter writer;
    document_->save(writer, "  ", pugi::format_default, pugi::encoding_utf8);
    if (path.empty() || FileSystemFunctions::writeNSDataToFile(path, &writer.bytes) != 0) {
        ZovLog(vistel::format("XMLFrameManager::saveToFile can't save document to file %@", std::string(path)));
        return XMLResult::NotSaved;
    }
    hideOnFat(std::string(path));
    return XMLResult::Done;
}

} // namespace vistel
