#pragma once
// IconTheme: icons of the freedesktop.org icon theme, read from the theme's files.
//
// Qt's QIcon::fromTheme would find the same files, but a QIcon must be rendered through QPixmap,
// which only the main thread may use, and its theme depends on the desktop's platform plugin
// (none under the offscreen platform). So the theme folders are searched here, by the rules of
// the icon theme specification (index.theme directories with Fixed, Scalable and Threshold
// sizes, Inherits chains ending in "hicolor", then /usr/share/pixmaps), and the files are read
// with QImageReader into QImages: safe on any thread, with or without a QGuiApplication.
//
// The theme is set explicitly ("Adwaita" unless setThemeName() says otherwise), so every run,
// offscreen included, sees the same icons. PNG files are preferred; SVG files are read only when
// an SVG image reader is installed.
//
// Thread safety: every function may be called from any thread; parsed index files are cached
// under one lock and dropped when the theme or the search folders change.

#include <string>
#include <string_view>
#include <vector>

#include <QImage>

namespace vistel {

class IconTheme {
public:
    static std::string themeName();
    // An empty name restores "Adwaita".
    static void setThemeName(std::string name);
    // The folders searched for themes, in order; empty restores the standard list:
    // $XDG_DATA_HOME/icons, ~/.icons, then "icons" in each of $XDG_DATA_DIRS.
    static void setSearchPaths(std::vector<std::string> folders);
    static std::vector<std::string> searchPaths();

    // The file that best draws `name` at `size` pixels: the exact size when the theme has it,
    // else the nearest; empty when no theme in the chain (and no pixmap folder) has the icon.
    // Answers are remembered until the theme or the search folders change.
    static std::string lookupIcon(std::string_view name, int size);
    static bool hasIcon(std::string_view name) { return !lookupIcon(name, 48).empty(); }
    // The pixel sizes the icon is drawn in by its own files (fixed-size folders) in the first
    // theme of the chain that has it, ascending; a scalable file adds its largest useful size
    // (MaxSize of its folder). Empty when the icon is missing.
    static std::vector<int> availableSizes(std::string_view name);

    // The icon drawn in a `size` by `size` transparent square, scaled smoothly and centred
    // (ARGB32 premultiplied). Null when the icon is missing or its file cannot be read. Drawn
    // icons and sizes are remembered like the lookups.
    static QImage loadIcon(std::string_view name, int size);
    // An image file read into a `size` square the same way (any format QImageReader reads; for
    // files holding several images the one nearest to `size`). Null on failure.
    static QImage loadImageFile(const std::string& path, int size);
};

} // namespace vistel
