#include "Common/Icons/IconTheme.h"
#include "Platform/FilePaths.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include <QByteArray>
#include <QImageReader>
#include <QPainter>
#include <QSettings>
#include <QString>

namespace vistel {
namespace {

constexpr const char* kDefaultTheme = "Adwaita";

struct ThemeDirectory {
    std::string subdir;
    int size = 0;
    int scale = 1;
    enum class Type { Fixed, Scalable, Threshold } type = Type::Threshold;
    int minSize = 0;
    int maxSize = 0;
    int threshold = 2;

    bool matches(int wanted) const
    {
        switch (type) {
        case Type::Fixed: return size == wanted;
        case Type::Scalable: return minSize <= wanted && wanted <= maxSize;
        case Type::Threshold: return size - threshold <= wanted && wanted <= size + threshold;
        }
        return false;
    }
    int distance(int wanted) const
    {
        switch (type) {
        case Type::Fixed: return std::abs(size * scale - wanted);
        case Type::Scalable:
            if (wanted < minSize * scale)
                return minSize * scale - wanted;
            if (wanted > maxSize * scale)
                return wanted - maxSize * scale;
            return 0;
        case Type::Threshold:
            if (wanted < (size - threshold) * scale)
                return minSize * scale - wanted;
            if (wanted > (size + threshold) * scale)
                return wanted - maxSize * scale;
            return 0;
        }
        return INT_MAX;
    }
};

struct Theme {
    std::vector<std::string> baseFolders; // every search folder holding a folder of the theme
    std::vector<ThemeDirectory> directories;
    std::vector<std::string> inherits;
};

struct State {
    std::mutex mutex;
    std::string themeName = kDefaultTheme;
    std::vector<std::string> searchPaths; // empty: standard
    std::map<std::string, std::shared_ptr<const Theme>, std::less<>> themes;
    // Answers of lookupIcon by "size:name": a folder listing asks for the same few icons for
    // every file, and each fresh lookup probes hundreds of theme folders.
    std::map<std::string, std::string, std::less<>> lookups;
    // Drawn icons by "size:name" (QImages share their pixels, so handing them out is cheap), and
    // the sizes of icons by name; kept small, since a listing uses few distinct icons.
    std::map<std::string, QImage, std::less<>> drawn;
    std::map<std::string, std::vector<int>, std::less<>> sizes;
    std::uint64_t generation = 0; // advanced by every change of theme or folders
};

constexpr std::size_t kCacheLimit = 512;

State& state()
{
    static State* const shared = new State; // used from any thread for the whole process
    return *shared;
}

bool isDirectory(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isRegularFile(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::vector<std::string> standardSearchPaths()
{
    std::vector<std::string> folders;
    const char* home = std::getenv("HOME");
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && *dataHome)
        folders.push_back(std::string(dataHome) + "/icons");
    else if (home && *home)
        folders.push_back(std::string(home) + "/.local/share/icons");
    if (home && *home)
        folders.push_back(std::string(home) + "/.icons");
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::string_view dirs = dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share";
    while (!dirs.empty()) {
        const auto colon = dirs.find(':');
        const std::string_view dir = dirs.substr(0, colon);
        if (!dir.empty())
            folders.push_back(std::string(dir) + "/icons");
        dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
    }
    return folders;
}

std::vector<std::string> currentSearchPaths(State& s)
{
    return s.searchPaths.empty() ? standardSearchPaths() : s.searchPaths;
}

int intValue(const QSettings& settings, const QString& key, int fallback)
{
    bool ok = false;
    const int value = settings.value(key).toInt(&ok);
    return ok ? value : fallback;
}

QStringList listValue(const QSettings& settings, const QString& key)
{
    // QSettings splits unquoted comma lists itself; a single entry comes back as a string.
    const QVariant value = settings.value(key);
    QStringList list = value.toStringList();
    if (list.size() == 1)
        list = list.front().split(u',', Qt::SkipEmptyParts);
    for (QString& entry : list)
        entry = entry.trimmed();
    list.removeAll(QString());
    return list;
}

// Parses the theme's index; null when no search folder has the theme. Called with the lock held.
std::shared_ptr<const Theme> loadTheme(State& s, const std::string& name)
{
    if (const auto found = s.themes.find(name); found != s.themes.end())
        return found->second;
    auto theme = std::make_shared<Theme>();
    std::string indexPath;
    for (const std::string& folder : currentSearchPaths(s)) {
        const std::string themeFolder = folder + "/" + name;
        if (!isDirectory(themeFolder))
            continue;
        theme->baseFolders.push_back(themeFolder);
        if (indexPath.empty() && isRegularFile(themeFolder + "/index.theme"))
            indexPath = themeFolder + "/index.theme";
    }
    std::shared_ptr<const Theme> result;
    if (!indexPath.empty()) {
        QSettings index(QString::fromStdString(indexPath), QSettings::IniFormat);
        index.beginGroup(QStringLiteral("Icon Theme"));
        const QStringList directories = listValue(index, QStringLiteral("Directories"))
            + listValue(index, QStringLiteral("ScaledDirectories"));
        for (const QString& entry : listValue(index, QStringLiteral("Inherits")))
            theme->inherits.push_back(entry.toStdString());
        index.endGroup();
        for (const QString& subdir : directories) {
            index.beginGroup(subdir);
            ThemeDirectory dir;
            dir.subdir = subdir.toStdString();
            dir.size = intValue(index, QStringLiteral("Size"), 0);
            dir.scale = std::max(1, intValue(index, QStringLiteral("Scale"), 1));
            const QString type = index.value(QStringLiteral("Type"), QStringLiteral("Threshold")).toString();
            dir.type = type == QLatin1String("Fixed") ? ThemeDirectory::Type::Fixed
                : type == QLatin1String("Scalable")   ? ThemeDirectory::Type::Scalable
                                                      : ThemeDirectory::Type::Threshold;
            dir.minSize = intValue(index, QStringLiteral("MinSize"), dir.size);
            dir.maxSize = intValue(index, QStringLiteral("MaxSize"), dir.size);
            dir.threshold = intValue(index, QStringLiteral("Threshold"), 2);
            index.endGroup();
            if (dir.size > 0)
                theme->directories.push_back(std::move(dir));
        }
        result = theme;
    }
    s.themes.emplace(name, result);
    return result;
}

// The theme and what it inherits, without repeats, "hicolor" last.
std::vector<std::shared_ptr<const Theme>> themeChain(State& s)
{
    std::vector<std::shared_ptr<const Theme>> chain;
    std::vector<std::string> pending{s.themeName};
    std::vector<std::string> seen;
    while (!pending.empty()) {
        const std::string name = pending.front();
        pending.erase(pending.begin());
        if (name == "hicolor" || std::find(seen.begin(), seen.end(), name) != seen.end())
            continue;
        seen.push_back(name);
        if (auto theme = loadTheme(s, name)) {
            chain.push_back(theme);
            pending.insert(pending.end(), theme->inherits.begin(), theme->inherits.end());
        }
    }
    if (auto hicolor = loadTheme(s, "hicolor"))
        chain.push_back(hicolor);
    return chain;
}

bool svgReadable()
{
    static const bool readable = QImageReader::supportedImageFormats().contains("svg");
    return readable;
}

std::vector<std::string_view> extensions()
{
    if (svgReadable())
        return {".png", ".svg", ".xpm"};
    return {".png", ".xpm"};
}

struct Candidate {
    std::string path;
    const ThemeDirectory* directory = nullptr;
};

// The files of `name` in one theme, one for each directory that has it.
std::vector<Candidate> candidates(const Theme& theme, std::string_view name)
{
    std::vector<Candidate> found;
    for (const ThemeDirectory& dir : theme.directories) {
        for (const std::string& base : theme.baseFolders) {
            bool hit = false;
            for (std::string_view extension : extensions()) {
                std::string path = base + "/" + dir.subdir + "/" + std::string(name) + std::string(extension);
                if (isRegularFile(path)) {
                    found.push_back({std::move(path), &dir});
                    hit = true;
                    break;
                }
            }
            if (hit)
                break;
        }
    }
    return found;
}

std::string pixmapFallback(std::string_view name)
{
    for (std::string_view extension : extensions()) {
        const std::string path = "/usr/share/pixmaps/" + std::string(name) + std::string(extension);
        if (isRegularFile(path))
            return path;
    }
    return {};
}

QImage fitIntoSquare(const QImage& source, int size)
{
    if (source.isNull() || size <= 0)
        return {};
    QImage square(size, size, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    const QSize fitted = source.size().scaled(size, size, Qt::KeepAspectRatio);
    QPainter painter(&square);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(QRect((size - fitted.width()) / 2, (size - fitted.height()) / 2, fitted.width(), fitted.height()),
                      source);
    painter.end();
    return square;
}

// The best file for `name` at `size` in the chain (see lookupIcon); empty when none.
std::string findIcon(const std::vector<std::shared_ptr<const Theme>>& chain, std::string_view name, int size)
{
    for (const auto& theme : chain) {
        const std::vector<Candidate> files = candidates(*theme, name);
        if (files.empty())
            continue;
        // An exact match first (PNG before SVG within a folder); else the nearest size, a larger
        // file winning a tie so that scaling goes down.
        const Candidate* best = nullptr;
        int bestDistance = INT_MAX;
        for (const Candidate& candidate : files) {
            if (candidate.directory->matches(size) && candidate.directory->scale == 1)
                return candidate.path;
            const int distance = candidate.directory->distance(size);
            if (distance < bestDistance
                || (distance == bestDistance && best && candidate.directory->size > best->directory->size)) {
                best = &candidate;
                bestDistance = distance;
            }
        }
        if (best)
            return best->path;
    }
    return pixmapFallback(name);
}

// The sizes of `name` in the first theme of the chain that has it (see availableSizes).
std::vector<int> findSizes(const std::vector<std::shared_ptr<const Theme>>& chain, std::string_view name)
{
    for (const auto& theme : chain) {
        std::vector<int> sizes;
        for (const Candidate& candidate : candidates(*theme, name)) {
            const ThemeDirectory& dir = *candidate.directory;
            sizes.push_back(dir.type == ThemeDirectory::Type::Scalable ? std::max(dir.size, dir.maxSize)
                                                                       : dir.size * dir.scale);
        }
        if (!sizes.empty()) {
            std::sort(sizes.begin(), sizes.end());
            sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
            return sizes;
        }
    }
    if (const std::string path = pixmapFallback(name); !path.empty()) {
        const QSize size = QImageReader(QString::fromStdString(path)).size();
        if (size.isValid())
            return {std::max(size.width(), size.height())};
    }
    return {};
}

} // namespace

std::string IconTheme::themeName()
{
    State& s = state();
    std::lock_guard guard(s.mutex);
    return s.themeName;
}

void IconTheme::setThemeName(std::string name)
{
    State& s = state();
    std::lock_guard guard(s.mutex);
    s.themeName = name.empty() ? std::string(kDefaultTheme) : std::move(name);
    s.themes.clear();
    s.lookups.clear();
    s.drawn.clear();
    s.sizes.clear();
    ++s.generation;
}

void IconTheme::setSearchPaths(std::vector<std::string> folders)
{
    State& s = state();
    std::lock_guard guard(s.mutex);
    s.searchPaths = std::move(folders);
    s.themes.clear();
    s.lookups.clear();
    s.drawn.clear();
    s.sizes.clear();
    ++s.generation;
}

std::vector<std::string> IconTheme::searchPaths()
{
    State& s = state();
    std::lock_guard guard(s.mutex);
    return currentSearchPaths(s);
}

std::string IconTheme::lookupIcon(std::string_view name, int size)
{
    if (!isPlainFileName(name) || size <= 0)
        return {};
    State& s = state();
    const std::string key = std::to_string(size) + ":" + std::string(name);
    std::vector<std::shared_ptr<const Theme>> chain;
    std::uint64_t generation = 0;
    {
        std::lock_guard guard(s.mutex);
        if (const auto found = s.lookups.find(key); found != s.lookups.end())
            return found->second;
        chain = themeChain(s);
        generation = s.generation;
    }
    std::string path = findIcon(chain, name, size);
    std::lock_guard guard(s.mutex);
    // A theme change meanwhile makes this answer stale: give it, but do not keep it.
    if (generation == s.generation) {
        if (s.lookups.size() >= kCacheLimit)
            s.lookups.clear();
        s.lookups.emplace(key, path);
    }
    return path;
}

std::vector<int> IconTheme::availableSizes(std::string_view name)
{
    if (!isPlainFileName(name))
        return {};
    State& s = state();
    std::vector<std::shared_ptr<const Theme>> chain;
    std::uint64_t generation = 0;
    {
        std::lock_guard guard(s.mutex);
        if (const auto found = s.sizes.find(name); found != s.sizes.end())
            return found->second;
        chain = themeChain(s);
        generation = s.generation;
    }
    std::vector<int> sizes = findSizes(chain, name);
    std::lock_guard guard(s.mutex);
    if (generation == s.generation) {
        if (s.sizes.size() >= kCacheLimit)
            s.sizes.clear();
        s.sizes.emplace(std::string(name), sizes);
    }
    return sizes;
}

QImage IconTheme::loadIcon(std::string_view name, int size)
{
    if (!isPlainFileName(name) || size <= 0)
        return {};
    State& s = state();
    const std::string key = std::to_string(size) + ":" + std::string(name);
    std::uint64_t generation = 0;
    {
        std::lock_guard guard(s.mutex);
        if (const auto found = s.drawn.find(key); found != s.drawn.end())
            return found->second;
        generation = s.generation;
    }
    const std::string path = lookupIcon(name, size);
    QImage image = path.empty() ? QImage() : loadImageFile(path, size);
    std::lock_guard guard(s.mutex);
    if (generation == s.generation) {
        if (s.drawn.size() >= kCacheLimit)
            s.drawn.clear();
        s.drawn.emplace(key, image);
    }
    return image;
}

QImage IconTheme::loadImageFile(const std::string& path, int size)
{
    if (path.empty() || size <= 0)
        return {};
    QImageReader reader(QString::fromStdString(path));
    // Containers of several sizes (icon families, .ico): take the smallest image that covers the
    // size, else the largest.
    QImage chosen;
    int chosenSide = 0;
    const int count = std::max(1, reader.imageCount());
    for (int index = 0; index < count && index < 64; ++index) {
        if (index > 0 && !reader.jumpToImage(index))
            break;
        if (reader.format() == "svg" || reader.format() == "svgz")
            reader.setScaledSize(QSize(size, size));
        QImage image = reader.read();
        if (image.isNull())
            continue;
        const int side = std::max(image.width(), image.height());
        const bool better = chosen.isNull() || (chosenSide < size && side > chosenSide)
            || (side >= size && side < chosenSide);
        if (better) {
            chosen = std::move(image);
            chosenSide = side;
        }
        if (chosenSide == size)
            break;
    }
    return fitIntoSquare(chosen, size);
}

} // namespace vistel
