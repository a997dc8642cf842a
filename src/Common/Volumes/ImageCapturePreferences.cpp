#include "Common/Volumes/ImageCapturePreferences.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>

#include "Common/FileSystem/FileSystemFunctions.h"
#include "Platform/FilePaths.h"
#include "Platform/UserDefaults.h"

namespace vistel {

namespace {

constexpr const char* AddedGroup = "[Added Associations]";
constexpr const char* DefaultGroup = "[Default Applications]";

std::string trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

bool isGroupHeader(const std::string& line)
{
    return trimmed(line).starts_with('[');
}

// The value of `line` when it sets the content type's key.
std::optional<std::string> valueOf(const std::string& line)
{
    const auto equals = line.find('=');
    if (equals == std::string::npos || trimmed(line).starts_with('#'))
        return std::nullopt;
    if (trimmed(std::string_view(line).substr(0, equals)) != ImageCapturePreferences::ContentType)
        return std::nullopt;
    return trimmed(std::string_view(line).substr(equals + 1));
}

std::vector<std::string> splitList(const std::string& value)
{
    std::vector<std::string> items;
    std::stringstream stream(value);
    std::string item;
    while (std::getline(stream, item, ';'))
        if (!trimmed(item).empty())
            items.push_back(trimmed(item));
    return items;
}

// The line index of the key in `group`, and the index after the group's last line.
struct Place {
    std::optional<std::size_t> header;
    std::optional<std::size_t> key;
    std::size_t end = 0;
};

Place find(const std::vector<std::string>& lines, const char* group)
{
    Place place;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        if (isGroupHeader(lines[index])) {
            if (place.header)
                break;
            if (trimmed(lines[index]) == group) {
                place.header = index;
                place.end = index + 1;
            }
            continue;
        }
        if (!place.header)
            continue;
        if (!trimmed(lines[index]).empty())
            place.end = index + 1;
        if (!place.key && valueOf(lines[index]))
            place.key = index;
    }
    return place;
}

// Puts `value` (or removes the key, when empty) into `group`, touching no other line.
void store(std::vector<std::string>& lines, const char* group, const std::string& value)
{
    const Place place = find(lines, group);
    const std::string line = std::string(ImageCapturePreferences::ContentType) + "=" + value;
    if (place.key) {
        if (value.empty())
            lines.erase(lines.begin() + std::ptrdiff_t(*place.key));
        else
            lines[*place.key] = line;
        return;
    }
    if (value.empty())
        return;
    if (place.header) {
        lines.insert(lines.begin() + std::ptrdiff_t(place.end), line);
        return;
    }
    if (!lines.empty() && !trimmed(lines.back()).empty())
        lines.push_back("");
    lines.push_back(group);
    lines.push_back(line);
}

std::string joined(const std::vector<std::string>& items)
{
    std::string value;
    for (const std::string& item : items)
        value += item + ";";
    return value;
}

} // namespace

std::string ImageCapturePreferences::path()
{
    return joinPath(configurationFolder(), "mimeapps.list");
}

Ref<ImageCapturePreferences> ImageCapturePreferences::imageCapturePreferences()
{
    Ref<ImageCapturePreferences> preferences = Ref<ImageCapturePreferences>::adopt(new ImageCapturePreferences());
    std::ifstream in(path(), std::ios::binary);
    if (in) {
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        std::stringstream stream(text);
        std::string line;
        while (std::getline(stream, line))
            preferences->lines_.push_back(line);
        preferences->endsWithNewline_ = text.empty() || text.back() == '\n';
    }
    const auto& lines = preferences->lines_;
    if (const Place added = find(lines, AddedGroup); added.key)
        preferences->offered_ = splitList(*valueOf(lines[*added.key]));
    if (const Place defaults = find(lines, DefaultGroup); defaults.key) {
        const std::vector<std::string> started = splitList(*valueOf(lines[*defaults.key]));
        if (!started.empty())
            preferences->default_ = started.front();
    }
    return preferences;
}

bool ImageCapturePreferences::isVistelPresent() const
{
    return std::find(offered_.begin(), offered_.end(), VistelDesktopID) != offered_.end();
}

void ImageCapturePreferences::setVistelPresent(bool present)
{
    if (present == isVistelPresent())
        return;
    if (present)
        offered_.push_back(VistelDesktopID);
    else
        std::erase(offered_, std::string(VistelDesktopID));
}

bool ImageCapturePreferences::isVistelADefault() const
{
    return isVistelPresent() && default_ == VistelDesktopID;
}

void ImageCapturePreferences::setVistelADefault(bool isDefault)
{
    if (isDefault == isVistelADefault())
        return;
    if (isDefault) {
        setVistelPresent(true);
        default_ = VistelDesktopID;
        return;
    }
    const auto other = std::find_if(offered_.begin(), offered_.end(),
                                    [](const std::string& id) { return id != VistelDesktopID; });
    default_ = other == offered_.end() ? std::string() : *other;
}

std::string ImageCapturePreferences::text() const
{
    std::vector<std::string> lines = lines_;
    store(lines, AddedGroup, joined(offered_));
    store(lines, DefaultGroup, default_.empty() ? std::string() : default_ + ";");
    std::string text;
    for (std::size_t index = 0; index < lines.size(); ++index)
        text += lines[index] + (index + 1 < lines.size() || endsWithNewline_ ? "\n" : "");
    return text;
}

StatusCode ImageCapturePreferences::save() const
{
    const std::string folder = configurationFolder();
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return statusFromErrno(errno);
    const std::string written = text();
    const Value::Bytes bytes(written.begin(), written.end());
    return FileSystemFunctions::writeNSDataToFile(path(), &bytes);
}

} // namespace vistel
