#pragma once
// PlatformColorSpace: the colour space of a PlatformImage.
//
// A colour space has a model (grey, RGB, CMYK or Lab) and may carry an ICC profile. Without a
// profile, grey and RGB mean the display's sRGB, CMYK means a generic press-neutral CMYK (a
// profile this library builds once), and Lab means CIE Lab D50. Conversions to sRGB for drawing
// and encoding go through lcms2 (PlatformImage.cpp), so CMYK and ICC-tagged pictures show right.
//
// Immutable once made; safe to share between threads.

#include <cstdint>
#include <string>
#include <vector>

#include "Platform/Object.h"

namespace vistel {

class PlatformColorSpace : public Object {
public:
    enum class Model { Monochrome, RGB, CMYK, Lab };

    static Ref<PlatformColorSpace> createDeviceGray();
    static Ref<PlatformColorSpace> createDeviceRGB();
    static Ref<PlatformColorSpace> createDeviceCMYK();
    static Ref<PlatformColorSpace> createLab();
    // The model is read from the profile's header; null when lcms2 cannot open the profile or
    // its colour space is none of the four models.
    static Ref<PlatformColorSpace> createWithICCProfile(std::vector<std::uint8_t> profile);
    // An ICC-tagged sRGB space (lcms2's built-in sRGB profile).
    static Ref<PlatformColorSpace> createSRGB();

    Model model() const noexcept { return model_; }
    std::size_t numberOfComponents() const noexcept;
    bool hasICCProfile() const noexcept { return !profile_.empty(); }
    const std::vector<std::uint8_t>& iccProfile() const noexcept { return profile_; }
    // The profile's description ("sRGB IEC61966-2.1"...), empty without a profile.
    const std::string& profileName() const noexcept { return profileName_; }
    // The four-character colour model of the codec contract's image format record:
    // "GREY", "CMYK", " Lab", " RGB" as big-endian 32-bit values.
    std::uint32_t fourCharModel() const noexcept;
    // The model as the "ColorModel" image property names it ("RGB", "Gray", "CMYK", "Lab").
    const char* colorModelName() const noexcept;

    // The generic CMYK profile used for CMYK pictures without a profile of their own.
    static const std::vector<std::uint8_t>& genericCMYKProfile();

private:
    PlatformColorSpace(Model model, std::vector<std::uint8_t> profile, std::string name);
    Model model_;
    std::vector<std::uint8_t> profile_;
    std::string profileName_;
};

} // namespace vistel
