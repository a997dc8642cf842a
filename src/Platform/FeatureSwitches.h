#pragma once
// The edition's feature switches and the system version test.
//
// Callers ask these before choosing a road. The switches are constants of this edition; the
// version test survives from the days when older systems had to be served and is always true
// here, so code behind a false answer is never built. Only ThumbnailLoggingEnabled() reads a
// preference, and it does so on every call, so a change takes effect without restarting.

namespace vistel {

// The running system offers everything the program uses: always true on this platform.
constexpr bool IsLeopardOrLater() noexcept { return true; }

// The picture-frame behaviour is on: picture-frame items in the sidebar and menus, the
// picture-frame toolbar items and the preference defaults of this edition.
constexpr bool IsPhotoFrameBuild() noexcept { return true; }
// The viewer's alternative toolbar with a print item is not used.
constexpr bool ViewerPrintToolbarEnabled() noexcept { return false; }
// The right-hand tabbed panel of browse mode is not used.
constexpr bool RightTabbedPanelEnabled() noexcept { return false; }
// Opened files show in their own viewer windows, and opening many files asks first.
constexpr bool SingleWindowViewingEnabled() noexcept { return false; }

// The preference that switches on the logging of thumbnail generation.
inline constexpr const char* ThumbnailLoggingPreferenceKey = "ENABLE_THUMBNAILS_GENERATION_LOGGING";

// The boolean preference above of the standard user defaults, read on every call; false when
// absent. Cheap enough for the thumbnail updater to ask for each thumbnail.
bool ThumbnailLoggingEnabled();

} // namespace vistel
