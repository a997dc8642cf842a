#pragma once
// ZovPlacesReader: the user's list of favourite folders (the sidebar's places).
//
// The list lives in the preference "BrowserPanel.PlacesList" as
// {"useritems": {"CustomListItems": [{"Name", "PlacePath", "Icon" (when stored)}...]}}.
// On first use without that preference the desktop's bookmarks are imported: the GTK bookmarks
// file ($XDG_CONFIG_HOME/gtk-3.0/bookmarks), whose "file://" lines give places (label, else
// the folder's name; the path percent-decoded) and whose other lines are skipped. An import
// keeps only the user's Pictures, Desktop and home folders (compared ignoring case), then puts
// home (captioned with the login name), Desktop and Pictures at the front, moving any already
// listed, so that it begins Pictures, Desktop, home. A stored list is taken as it is.
//
// Every change is stored at once and posts "kPlacesReaderPlaceListChangedNotification" (object:
// the reader; no object after a rename).
//
// Thread rules: main thread only.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <QImage>

#include "Platform/Object.h"
#include "Platform/Value.h"
#include "ZovClass.h"

namespace vistel {

class Preferences;

inline constexpr const char* kPlacesReaderPlaceListChangedNotification = "kPlacesReaderPlaceListChangedNotification";

class ZovPlaceInfo : public Object {
public:
    // Null (logged) without a caption or a path.
    static Ref<ZovPlaceInfo> create(const std::optional<std::string>& name, const std::optional<std::string>& path,
                                    Value iconData = {});

    const std::string& placeName() const { return placeName_; }
    void setPlaceName(std::string name) { placeName_ = std::move(name); }
    const std::string& placePath() const { return placePath_; }
    // No system icons by creator code on this platform: always a null image.
    QImage placeIcon() const { return {}; }
    const Value& iconData() const { return iconData_; }

private:
    ZovPlaceInfo() = default;
    std::string placeName_;
    std::string placePath_;
    Value iconData_;
};

class ZovPlacesReader : public Object {
public:
    ZOV_ROOT_CLASS(ZovPlacesReader)

    static constexpr std::size_t NSNotFound = 0x7fffffff;
    // A larger bookmarks file is not read.
    static constexpr std::size_t MaximumBookmarksBytes = 1024 * 1024;

    // The shared reader, loaded on first use from the shared preferences.
    static ZovPlacesReader* placesReader();
    // A reader over `preferences` (tests); null when the list cannot be loaded.
    static Ref<ZovPlacesReader> load(Preferences& preferences);

    // "<XDG config>/gtk-3.0/bookmarks".
    static std::string bookmarksFilePath();
    // The places of a bookmarks file's text, as stored dictionaries ("Name", "PlacePath").
    static Value placesFromBookmarks(std::string_view text);

    std::size_t count() const { return places_.size(); }
    ZovPlaceInfo* placeAtIndex(std::size_t index) const;
    std::size_t placeIndex(const ZovPlaceInfo* place) const;
    ZovPlaceInfo* placeByPath(const std::optional<std::string>& path) const;

    bool insertPlace(const std::optional<std::string>& path, const std::optional<std::string>& caption,
                     std::size_t index);
    bool removePlace(ZovPlaceInfo* place);
    bool renamePlace(ZovPlaceInfo* place, const std::optional<std::string>& caption);

private:
    explicit ZovPlacesReader(Preferences& preferences)
        : preferences_(preferences)
    {
    }
    Value customListItems() const;
    Value placeDictionaryByPath(const std::string& path) const;
    void saveToPreferences();
    void postChanged(bool withObject);

    Preferences& preferences_;
    std::vector<Ref<ZovPlaceInfo>> places_;
};

} // namespace vistel
