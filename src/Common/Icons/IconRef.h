#pragma once
// IconRef: what the program calls an icon reference. On this platform an icon is either a
// named icon of the freedesktop icon theme ("image-jpeg", "folder") or an image file of its own
// (a ".icns" icon family, a PNG...). Plain value type, usable as a map key; safe on any thread.

#include <string>

namespace vistel {

struct IconRef {
    std::string themeName; // an icon name of the theme, or empty
    std::string file;      // an image file, used when themeName is empty

    static IconRef named(std::string name) { return {std::move(name), {}}; }
    static IconRef fromFile(std::string path) { return {{}, std::move(path)}; }

    bool isNull() const noexcept { return themeName.empty() && file.empty(); }
    friend bool operator==(const IconRef&, const IconRef&) = default;
    friend auto operator<=>(const IconRef&, const IconRef&) = default;
};

} // namespace vistel
