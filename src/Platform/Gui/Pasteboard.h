#pragma once
// Pasteboard: named-type data exchange over Qt's clipboard and drags.
//
// The general pasteboard is the desktop clipboard (QClipboard); a drag pasteboard wraps the
// QMimeData of one QDrag (or of a drop). Type names map onto MIME types:
//   - NSFilenamesPboardType: an array of paths. Local paths are written as "text/uri-list"
//     ("file://" URLs, every byte outside the unreserved set percent-encoded, so names with
//     spaces, '%', '#' or bytes that are not UTF-8 survive) and, for file managers pasting a
//     copy, as "x-special/gnome-copied-files" ("copy" then the URLs). The whole array, in order,
//     also travels as an XML property list in the private type
//     "application/x-vistel-filenames", the only place camera paths ("ICA:/…") go: they are
//     never written as file URLs. Reading prefers the private type, else the local files of the
//     URI list (percent-decoded to bytes).
//   - NSURLPboardType: the first URL of "text/uri-list" (any scheme).
//   - NSStringPboardType: "text/plain" (UTF-8).
//   - any other name ("ZovPlacesListType") is used literally as a MIME type of raw bytes.
//
// declareTypes() starts new contents; the set…() calls then fill them (on the general
// pasteboard each call republishes the whole contents to the clipboard).
//
// Thread rules: main thread only (Qt's clipboard and drags live there).

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Object.h"
#include "Platform/Value.h"

class QMimeData;

namespace vistel {

inline constexpr const char* NSFilenamesPboardType = "NSFilenamesPboardType";
inline constexpr const char* NSURLPboardType = "NSURLPboardType";
inline constexpr const char* NSStringPboardType = "NSStringPboardType";

class Pasteboard : public Object {
public:
    static constexpr const char* FilenamesMimeType = "application/x-vistel-filenames";
    static constexpr const char* GnomeCopiedFilesMimeType = "x-special/gnome-copied-files";

    // The clipboard's pasteboard (one object per process).
    static Ref<Pasteboard> generalPasteboard();
    // A pasteboard over `data`, which the caller keeps alive (a drag's or a drop's data).
    static Ref<Pasteboard> pasteboardWithMimeData(QMimeData* data);
    // The pasteboard a view's drag is filled through before the drag starts: one per process,
    // over data of its own; the view copies what it holds into the drag it starts.
    static Ref<Pasteboard> dragPasteboard();

    // Starts new, empty contents that will hold these types. Answers the change count.
    int declareTypes(const std::vector<std::string>& types);
    // The pasteboard type names the current contents offer.
    std::vector<std::string> types() const;
    bool availableType(const std::string& type) const;

    // NSFilenamesPboardType takes an array of path strings; other types a string or data.
    bool setPropertyList(const Value& list, const std::string& type);
    bool setString(const std::string& text, const std::string& type);
    bool setData(const std::string& bytes, const std::string& type);
    // NSFilenamesPboardType answers an array of path strings.
    std::optional<Value> propertyListForType(const std::string& type) const;
    std::optional<std::string> stringForType(const std::string& type) const;
    std::optional<std::string> dataForType(const std::string& type) const;

    // The data a drag carries (a drag pasteboard's own, or a fresh copy of the contents).
    QMimeData* mimeData() const;

    static bool isCameraPath(const std::string& path);

private:
    explicit Pasteboard(QMimeData* data) : drag_(data) { }
    std::map<std::string, std::string> contentsAsMime() const;
    void store(const std::string& mimeType, const std::string& bytes);
    std::optional<std::string> read(const std::string& mimeType) const;

    QMimeData* drag_ = nullptr;                    // a drag's data, or null for the clipboard
    std::map<std::string, std::string> published_; // what this process last put on the clipboard
    int changeCount_ = 0;
};

} // namespace vistel
