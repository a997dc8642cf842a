#include "Preferences/ZovPlacesReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>

#include <pwd.h>
#include <unistd.h>

#include <QString>

#include "Platform/FilePaths.h"
#include "Platform/FolderListing.h"
#include "Platform/Formatter.h"
#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"
#include "Platform/UserDefaults.h"
#include "Preferences/Preferences.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

std::string loginName()
{
    if (const passwd* entry = ::getpwuid(::getuid()))
        return entry->pw_name;
    const char* user = std::getenv("USER");
    return user ? user : "";
}

bool isValidPlacePath(const std::string& path)
{
    const QString candidate = QString::fromStdString(path);
    for (const std::string& folder : {Preferences::userPicturesFolderPath(), Preferences::userHomeFolderPath(),
                                      Preferences::userDesktopFolderPath()})
        if (!folder.empty() && candidate.compare(QString::fromStdString(folder), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

Ref<ZovPlacesReader> sharedReader;

} // namespace

// --- places -----------------------------------------------------------------------------------

Ref<ZovPlaceInfo> ZovPlaceInfo::create(const std::optional<std::string>& name, const std::optional<std::string>& path,
                                       Value iconData)
{
    if (!name || !path) {
        ZovLog(vistel::format("ZovPlaceInfo::iniWithValues invalid values name : %@ path : %@",
                              name.value_or("(null)"), path.value_or("(null)")));
        return nullptr;
    }
    Ref<ZovPlaceInfo> place = Ref<ZovPlaceInfo>::adopt(new ZovPlaceInfo);
    place->placeName_ = *name;
    place->placePath_ = *path;
    place->iconData_ = std::move(iconData);
    return place;
}

// --- loading ----------------------------------------------------------------------------------

std::string ZovPlacesReader::bookmarksFilePath() { return joinPath(configurationFolder(), "gtk-3.0/bookmarks"); }

Value ZovPlacesReader::placesFromBookmarks(std::string_view text)
{
    Value places = Value::array();
    std::istringstream lines {std::string(text)};
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t space = line.find(' ');
        const std::string uri = line.substr(0, space);
        std::optional<std::string> path = pathForFileURL(uri);
        if (!path || path->empty())
            continue;
        std::string label = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (label.empty())
            label = lastPathComponent(*path);
        places.append(Value::dictionary({{"Name", Value(label)}, {"PlacePath", Value(*path)}}));
    }
    return places;
}

ZovPlacesReader* ZovPlacesReader::placesReader()
{
    if (!sharedReader)
        sharedReader = load(Preferences::sharedPreferences());
    return sharedReader.get();
}

Ref<ZovPlacesReader> ZovPlacesReader::load(Preferences& preferences)
{
    bool imported = false;
    if (preferences.valueForKey(prefs::PlacesList).isNull()) {
        const std::string file = bookmarksFilePath();
        std::string text;
        Value items = Value::array();
        if (readRegularFile(file, text, MaximumBookmarksBytes) != 0)
            ZovLog(vistel::format("ZovPlacesReader::placesReader can't load data from XML file %@", file));
        else
            items = placesFromBookmarks(text);
        preferences.setValue(Value::dictionary({{"useritems", Value::dictionary({{"CustomListItems", items}})}}),
                             prefs::PlacesList);
        imported = true;
    }
    Ref<ZovPlacesReader> reader = Ref<ZovPlacesReader>::adopt(new ZovPlacesReader(preferences));
    for (const Value& entry : reader->customListItems().asArray()) {
        const Value& path = entry.get("PlacePath");
        if (!path.isString())
            continue;
        if (imported && !isValidPlacePath(path.asString()))
            continue;
        if (Ref<ZovPlaceInfo> place = ZovPlaceInfo::create(entry.get("Name").isString()
                                                               ? std::optional<std::string>(entry.get("Name").asString())
                                                               : std::nullopt,
                                                           path.asString(), entry.get("Icon")))
            reader->places_.push_back(place);
    }
    if (imported) {
        reader->saveToPreferences();
        reader->insertPlace(Preferences::userHomeFolderPath(), loginName(), 0);
        reader->insertPlace(Preferences::userDesktopFolderPath(), ZOV_TRANSLATE_CLASS("Desktop", "placesReader"), 0);
        reader->insertPlace(Preferences::userPicturesFolderPath(), ZOV_TRANSLATE_CLASS("Pictures", "placesReader"), 0);
    }
    return reader;
}

// --- the list -------------------------------------------------------------------------------

ZovPlaceInfo* ZovPlacesReader::placeAtIndex(std::size_t index) const
{
    return index < places_.size() ? places_[index].get() : nullptr;
}

std::size_t ZovPlacesReader::placeIndex(const ZovPlaceInfo* place) const
{
    for (std::size_t i = 0; i < places_.size(); ++i)
        if (places_[i].get() == place)
            return i;
    return NSNotFound;
}

ZovPlaceInfo* ZovPlacesReader::placeByPath(const std::optional<std::string>& path) const
{
    if (!path)
        return nullptr;
    for (const Ref<ZovPlaceInfo>& place : places_)
        if (place->placePath() == *path)
            return place.get();
    return nullptr;
}

bool ZovPlacesReader::insertPlace(const std::optional<std::string>& path, const std::optional<std::string>& caption,
                                  std::size_t index)
{
    if (!path || !caption || path->empty())
        return false;
    index = std::min(index, places_.size());
    if (ZovPlaceInfo* existing = placeByPath(*path)) {
        const std::size_t from = placeIndex(existing);
        if (from == index)
            return false;
        Ref<ZovPlaceInfo> moved = places_[from];
        places_.erase(places_.begin() + static_cast<std::ptrdiff_t>(from));
        if (from < index)
            --index;
        places_.insert(places_.begin() + static_cast<std::ptrdiff_t>(index), moved);
    } else {
        places_.insert(places_.begin() + static_cast<std::ptrdiff_t>(index), ZovPlaceInfo::create(*caption, *path));
    }
    saveToPreferences();
    postChanged(true);
    return true;
}

bool ZovPlacesReader::removePlace(ZovPlaceInfo* place)
{
    if (!place || placeDictionaryByPath(place->placePath()).isNull())
        return false;
    const std::size_t index = placeIndex(place);
    if (index == NSNotFound)
        return false;
    const std::size_t before = places_.size();
    places_.erase(places_.begin() + static_cast<std::ptrdiff_t>(index));
    ZovLog(vistel::format("ZovPlacesReader::removePlace places before : %d after : %d", (long long)before,
                          (long long)places_.size()));
    saveToPreferences();
    postChanged(true);
    return true;
}

bool ZovPlacesReader::renamePlace(ZovPlaceInfo* place, const std::optional<std::string>& caption)
{
    if (!place || !caption || placeIndex(place) == NSNotFound || placeDictionaryByPath(place->placePath()).isNull())
        return false;
    place->setPlaceName(*caption);
    saveToPreferences();
    postChanged(false);
    return true;
}

Value ZovPlacesReader::customListItems() const
{
    return preferences_.valueForKey(prefs::PlacesList).get("useritems").get("CustomListItems");
}

Value ZovPlacesReader::placeDictionaryByPath(const std::string& path) const
{
    for (const Value& entry : customListItems().asArray())
        if (entry.get("PlacePath").toString() == path)
            return entry;
    return {};
}

void ZovPlacesReader::saveToPreferences()
{
    Value items = Value::array();
    for (const Ref<ZovPlaceInfo>& place : places_) {
        Value entry = Value::dictionary({{"Name", Value(place->placeName())}});
        if (!place->iconData().isNull())
            entry.set("Icon", place->iconData());
        entry.set("PlacePath", Value(place->placePath()));
        items.append(std::move(entry));
    }
    preferences_.setValue(Value::dictionary({{"useritems", Value::dictionary({{"CustomListItems", items}})}}),
                          prefs::PlacesList);
}

void ZovPlacesReader::postChanged(bool withObject)
{
    NotificationCenter::defaultCenter().postNotificationName(kPlacesReaderPlaceListChangedNotification,
                                                             withObject ? Ref<Object>(this) : Ref<Object>());
}

} // namespace vistel
