#pragma once
// Internal to the imaging platform: lcms2 profiles for PlatformColorSpace.

#include <lcms2.h>

#include <memory>

#include "Platform/Imaging/PlatformColorSpace.h"

namespace vistel::colormanagement {

struct ProfileCloser {
    void operator()(void* profile) const noexcept { cmsCloseProfile(profile); }
};
using ProfileHandle = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter {
    void operator()(void* transform) const noexcept { cmsDeleteTransform(transform); }
};
using TransformHandle = std::unique_ptr<void, TransformDeleter>;

// The profile that describes `space`: its own ICC profile, or the built-in one of its model.
ProfileHandle openProfile(const PlatformColorSpace& space);
ProfileHandle openSRGBProfile();

} // namespace vistel::colormanagement
