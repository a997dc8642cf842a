#include "Platform/Imaging/PlatformColorSpace.h"


#include "Platform/Imaging/ColorManagement.h"

namespace vistel {

namespace {

std::string describe(cmsHPROFILE profile)
{
    char buffer[256] = {};
    cmsUInt32Number n = cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", buffer, sizeof buffer);
    return n > 0 ? std::string(buffer) : std::string();
}

std::vector<std::uint8_t> saveProfile(cmsHPROFILE profile)
{
    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(profile, nullptr, &size) || size == 0)
        return {};
    std::vector<std::uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(profile, bytes.data(), &size))
        return {};
    bytes.resize(size);
    return bytes;
}

// Press-neutral CMYK: ink is subtractive on an sRGB paper white, R = (1 - C)(1 - K) and so on,
// sampled into a 9-point CLUT from CMYK to Lab. It is an input profile (A2B0 only): the
// program reads CMYK pictures but never separates into CMYK.
std::vector<std::uint8_t> buildGenericCMYKProfile()
{
    colormanagement::ProfileHandle srgb(cmsCreate_sRGBProfile());
    colormanagement::ProfileHandle lab(cmsCreateLab4Profile(nullptr));
    colormanagement::TransformHandle toLab(
        cmsCreateTransform(srgb.get(), TYPE_RGB_DBL, lab.get(), TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0));
    if (!toLab)
        return {};

    colormanagement::ProfileHandle profile(cmsCreateProfilePlaceholder(nullptr));
    cmsSetProfileVersion(profile.get(), 4.3);
    cmsSetDeviceClass(profile.get(), cmsSigInputClass);
    cmsSetColorSpace(profile.get(), cmsSigCmykData);
    cmsSetPCS(profile.get(), cmsSigLabData);

    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    auto sampler = [](const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) -> cmsInt32Number {
        double c = in[0] / 65535.0, m = in[1] / 65535.0, y = in[2] / 65535.0, k = in[3] / 65535.0;
        double rgb[3] = {(1 - c) * (1 - k), (1 - m) * (1 - k), (1 - y) * (1 - k)};
        cmsCIELab value;
        cmsDoTransform(cargo, rgb, &value, 1);
        cmsFloat2LabEncoded(out, &value);
        return 1;
    };
    cmsStageSampleCLut16bit(clut, sampler, toLab.get(), 0);
    // lutAtoBType wants curves on both sides of the CLUT: identity ones.
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
    cmsPipelineInsertStage(pipeline, cmsAT_END, clut);
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsWriteTag(profile.get(), cmsSigAToB0Tag, pipeline);
    cmsPipelineFree(pipeline);

    cmsMLU* description = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(description, "en", "US", "Generic CMYK");
    cmsWriteTag(profile.get(), cmsSigProfileDescriptionTag, description);
    cmsMLUfree(description);
    cmsWriteTag(profile.get(), cmsSigMediaWhitePointTag, cmsD50_XYZ());
    return saveProfile(profile.get());
}

} // namespace

PlatformColorSpace::PlatformColorSpace(Model model, std::vector<std::uint8_t> profile, std::string name)
    : model_(model), profile_(std::move(profile)), profileName_(std::move(name))
{
}

Ref<PlatformColorSpace> PlatformColorSpace::createDeviceGray()
{
    return Ref<PlatformColorSpace>::adopt(new PlatformColorSpace(Model::Monochrome, {}, {}));
}

Ref<PlatformColorSpace> PlatformColorSpace::createDeviceRGB()
{
    return Ref<PlatformColorSpace>::adopt(new PlatformColorSpace(Model::RGB, {}, {}));
}

Ref<PlatformColorSpace> PlatformColorSpace::createDeviceCMYK()
{
    return Ref<PlatformColorSpace>::adopt(new PlatformColorSpace(Model::CMYK, {}, {}));
}

Ref<PlatformColorSpace> PlatformColorSpace::createLab()
{
    return Ref<PlatformColorSpace>::adopt(new PlatformColorSpace(Model::Lab, {}, {}));
}

Ref<PlatformColorSpace> PlatformColorSpace::createSRGB()
{
    colormanagement::ProfileHandle srgb(cmsCreate_sRGBProfile());
    return createWithICCProfile(saveProfile(srgb.get()));
}

Ref<PlatformColorSpace> PlatformColorSpace::createWithICCProfile(std::vector<std::uint8_t> profile)
{
    if (profile.empty())
        return nullptr;
    colormanagement::ProfileHandle handle(
        cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size())));
    if (!handle)
        return nullptr;
    Model model;
    switch (cmsGetColorSpace(handle.get())) {
    case cmsSigGrayData: model = Model::Monochrome; break;
    case cmsSigRgbData: model = Model::RGB; break;
    case cmsSigCmykData: model = Model::CMYK; break;
    case cmsSigLabData: model = Model::Lab; break;
    default: return nullptr;
    }
    std::string name = describe(handle.get());
    return Ref<PlatformColorSpace>::adopt(new PlatformColorSpace(model, std::move(profile), std::move(name)));
}

std::size_t PlatformColorSpace::numberOfComponents() const noexcept
{
    switch (model_) {
    case Model::Monochrome: return 1;
    case Model::CMYK: return 4;
    case Model::RGB:
    case Model::Lab: break;
    }
    return 3;
}

std::uint32_t PlatformColorSpace::fourCharModel() const noexcept
{
    switch (model_) {
    case Model::Monochrome: return 0x47524559; // "GREY"
    case Model::CMYK: return 0x434D594B;       // "CMYK"
    case Model::Lab: return 0x204C6162;        // " Lab"
    case Model::RGB: break;
    }
    return 0x20524742; // " RGB"
}

const char* PlatformColorSpace::colorModelName() const noexcept
{
    switch (model_) {
    case Model::Monochrome: return "Gray";
    case Model::CMYK: return "CMYK";
    case Model::Lab: return "Lab";
    case Model::RGB: break;
    }
    return "RGB";
}

const std::vector<std::uint8_t>& PlatformColorSpace::genericCMYKProfile()
{
    static const std::vector<std::uint8_t> profile = buildGenericCMYKProfile();
    return profile;
}

namespace colormanagement {

ProfileHandle openSRGBProfile()
{
    return ProfileHandle(cmsCreate_sRGBProfile());
}

ProfileHandle openProfile(const PlatformColorSpace& space)
{
    if (space.hasICCProfile()) {
        const auto& bytes = space.iccProfile();
        return ProfileHandle(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
    }
    switch (space.model()) {
    case PlatformColorSpace::Model::Monochrome: {
        // Grey on the sRGB tone curve, so untagged grey matches untagged RGB grey.
        const cmsFloat64Number params[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
        cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, params);
        ProfileHandle gray(curve ? cmsCreateGrayProfile(cmsD50_xyY(), curve) : nullptr);
        if (curve)
            cmsFreeToneCurve(curve);
        return gray;
    }
    case PlatformColorSpace::Model::CMYK: {
        const auto& bytes = PlatformColorSpace::genericCMYKProfile();
        return ProfileHandle(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
    }
    case PlatformColorSpace::Model::Lab: return ProfileHandle(cmsCreateLab4Profile(nullptr));
    case PlatformColorSpace::Model::RGB: break;
    }
    return openSRGBProfile();
}

} // namespace colormanagement

} // namespace vistel
