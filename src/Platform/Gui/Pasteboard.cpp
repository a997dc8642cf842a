#include "Platform/Gui/Pasteboard.h"

#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "Platform/FilePaths.h"

namespace vistel {

namespace {

constexpr const char* UriListMimeType = "text/uri-list";
constexpr const char* PlainTextMimeType = "text/plain";
constexpr const char* PlainTextUtf8MimeType = "text/plain;charset=utf-8";

// The lines of a URI list, comments and empty lines left out.
std::vector<std::string> uriListLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] != '#')
            lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string toStd(const QByteArray& bytes) { return std::string(bytes.constData(), std::size_t(bytes.size())); }
QByteArray toQt(const std::string& bytes) { return QByteArray(bytes.data(), qsizetype(bytes.size())); }

} // namespace

Ref<Pasteboard> Pasteboard::generalPasteboard()
{
    static Ref<Pasteboard> general = Ref<Pasteboard>::adopt(new Pasteboard(nullptr));
    return general;
}

Ref<Pasteboard> Pasteboard::pasteboardWithMimeData(QMimeData* data)
{
    return Ref<Pasteboard>::adopt(new Pasteboard(data));
}

Ref<Pasteboard> Pasteboard::dragPasteboard()
{
    static QMimeData* const data = new QMimeData; // kept for the whole run
    static const Ref<Pasteboard> drag = pasteboardWithMimeData(data);
    return drag;
}

bool Pasteboard::isCameraPath(const std::string& path) { return path.rfind("ICA:/", 0) == 0; }

// --- storage ----------------------------------------------------------------------------------------

std::optional<std::string> Pasteboard::read(const std::string& mimeType) const
{
    const QMimeData* data = drag_;
    if (!data) {
        QClipboard* clipboard = QGuiApplication::clipboard();
        data = clipboard ? clipboard->mimeData() : nullptr;
    }
    if (!data || !data->hasFormat(QString::fromStdString(mimeType)))
        return std::nullopt;
    return toStd(data->data(QString::fromStdString(mimeType)));
}

void Pasteboard::store(const std::string& mimeType, const std::string& bytes)
{
    if (drag_) {
        drag_->setData(QString::fromStdString(mimeType), toQt(bytes));
        return;
    }
    published_[mimeType] = bytes;
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setMimeData(mimeData()); // the clipboard takes the copy
}

QMimeData* Pasteboard::mimeData() const
{
    if (drag_)
        return drag_;
    auto* data = new QMimeData;
    for (const auto& [type, bytes] : published_)
        data->setData(QString::fromStdString(type), toQt(bytes));
    return data;
}

int Pasteboard::declareTypes(const std::vector<std::string>&)
{
    if (drag_)
        drag_->clear();
    else
        published_.clear();
    return ++changeCount_;
}

std::vector<std::string> Pasteboard::types() const
{
    std::vector<std::string> out;
    const QMimeData* data = drag_;
    if (!data) {
        QClipboard* clipboard = QGuiApplication::clipboard();
        data = clipboard ? clipboard->mimeData() : nullptr;
    }
    if (!data)
        return out;
    const QStringList formats = data->formats();
    if (formats.contains(FilenamesMimeType) || availableType(NSFilenamesPboardType))
        out.push_back(NSFilenamesPboardType);
    if (formats.contains(UriListMimeType))
        out.push_back(NSURLPboardType);
    if (formats.contains(PlainTextMimeType) || formats.contains(PlainTextUtf8MimeType))
        out.push_back(NSStringPboardType);
    for (const QString& format : formats) {
        const std::string name = format.toStdString();
        if (name != UriListMimeType && name != PlainTextMimeType && name != PlainTextUtf8MimeType &&
            name != FilenamesMimeType && name != GnomeCopiedFilesMimeType)
            out.push_back(name);
    }
    return out;
}

bool Pasteboard::availableType(const std::string& type) const
{
    if (type == NSFilenamesPboardType) {
        std::optional<Value> names = propertyListForType(type);
        return names && names->size() > 0;
    }
    if (type == NSURLPboardType)
        return read(UriListMimeType).has_value();
    if (type == NSStringPboardType)
        return read(PlainTextMimeType) || read(PlainTextUtf8MimeType);
    return read(type).has_value();
}

// --- typed access ------------------------------------------------------------------------------------

bool Pasteboard::setPropertyList(const Value& list, const std::string& type)
{
    if (type != NSFilenamesPboardType) {
        if (list.isString())
            return setString(list.asString(), type);
        if (list.isData())
            return setData(std::string(reinterpret_cast<const char*>(list.asData().data()), list.asData().size()), type);
        std::optional<std::string> xml = list.toXmlPropertyList();
        return xml && setData(*xml, type);
    }
    if (!list.isArray())
        return false;
    std::string uriList;
    std::string copied = "copy";
    Value paths = Value::array();
    for (const Value& entry : list.asArray()) {
        if (!entry.isString() || entry.asString().empty())
            continue;
        const std::string& path = entry.asString();
        paths.append(path);
        if (isCameraPath(path) || path[0] != '/')
            continue;
        const std::string url = fileURLForPath(path);
        uriList += url + "\r\n";
        copied += "\n" + url;
    }
    std::optional<std::string> xml = paths.toXmlPropertyList();
    if (!xml)
        return false;
    if (!drag_)
        published_.clear();
    // Stored together: the general pasteboard publishes once with every type.
    if (drag_) {
        store(FilenamesMimeType, *xml);
        if (!uriList.empty()) {
            store(UriListMimeType, uriList);
            store(GnomeCopiedFilesMimeType, copied);
        }
        return true;
    }
    published_[FilenamesMimeType] = *xml;
    if (!uriList.empty()) {
        published_[UriListMimeType] = uriList;
        published_[GnomeCopiedFilesMimeType] = copied;
    }
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setMimeData(mimeData());
    return true;
}

bool Pasteboard::setString(const std::string& text, const std::string& type)
{
    if (type == NSStringPboardType) {
        store(PlainTextMimeType, text);
        return true;
    }
    if (type == NSURLPboardType) {
        store(UriListMimeType, text + "\r\n");
        return true;
    }
    if (type == NSFilenamesPboardType)
        return setPropertyList(Value::array({text}), type);
    store(type, text);
    return true;
}

bool Pasteboard::setData(const std::string& bytes, const std::string& type)
{
    if (type == NSStringPboardType || type == NSURLPboardType || type == NSFilenamesPboardType)
        return setString(bytes, type);
    store(type, bytes);
    return true;
}

std::optional<Value> Pasteboard::propertyListForType(const std::string& type) const
{
    if (type == NSFilenamesPboardType) {
        if (std::optional<std::string> xml = read(FilenamesMimeType))
            if (std::optional<Value> list = Value::fromXmlPropertyList(*xml); list && list->isArray())
                return list;
        // A URI list, else a file manager's copied files ("copy" or "cut", then one URL a line).
        std::vector<std::string> urls;
        if (std::optional<std::string> uris = read(UriListMimeType)) {
            urls = uriListLines(*uris);
        } else if (std::optional<std::string> copied = read(GnomeCopiedFilesMimeType)) {
            urls = uriListLines(*copied);
            if (urls.empty() || (urls.front() != "copy" && urls.front() != "cut"))
                return std::nullopt;
            urls.erase(urls.begin());
        } else {
            return std::nullopt;
        }
        // A URL's "." and ".." segments are resolved as URLs are: "file:///a/b/../c" is /a/c.
        Value paths = Value::array();
        for (const std::string& url : urls)
            if (std::optional<std::string> path = pathForFileURL(url))
                paths.append(normalizedPath(*path));
        return paths;
    }
    if (std::optional<std::string> bytes = dataForType(type)) {
        if (std::optional<Value> list = Value::fromXmlPropertyList(*bytes))
            return list;
        return Value(*bytes);
    }
    return std::nullopt;
}

std::optional<std::string> Pasteboard::stringForType(const std::string& type) const
{
    if (type == NSStringPboardType) {
        if (auto text = read(PlainTextUtf8MimeType))
            return text;
        return read(PlainTextMimeType);
    }
    if (type == NSURLPboardType) {
        std::optional<std::string> uris = read(UriListMimeType);
        if (!uris)
            return std::nullopt;
        std::vector<std::string> lines = uriListLines(*uris);
        if (lines.empty())
            return std::nullopt;
        return lines.front();
    }
    return dataForType(type);
}

std::optional<std::string> Pasteboard::dataForType(const std::string& type) const
{
    if (type == NSStringPboardType || type == NSURLPboardType)
        return stringForType(type);
    return read(type);
}

} // namespace vistel
