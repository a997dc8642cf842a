#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "Common/Strings/NSStringDevices.h"
#include "Common/Strings/NSURLExtentions.h"

namespace vistel {
namespace {

using std::nullopt;
using Text = std::optional<std::string>;

struct CameraPathCase {
    const char* text;
    bool isVolume;
    bool isCamera;
    std::int64_t deviceID;
    Text devicePath;
    Text pathWithoutDevice;
};

class CameraPathTable : public ::testing::TestWithParam<CameraPathCase> { };

TEST_P(CameraPathTable, AnswersEveryAccessor)
{
    const CameraPathCase& c = GetParam();
    EXPECT_EQ(NSStringDevices::isVolumePath(c.text), c.isVolume);
    EXPECT_EQ(NSStringDevices::isICADevicePath(c.text), c.isCamera);
    EXPECT_EQ(NSStringDevices::icaDeviceID(c.text), c.deviceID);
    EXPECT_EQ(NSStringDevices::icaDevicePath(c.text), c.devicePath);
    EXPECT_EQ(NSStringDevices::icaPathWithoutDevice(c.text), c.pathWithoutDevice);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CameraPathTable,
    ::testing::Values(
        CameraPathCase {"ICA:/41", false, true, 41, "ICA:/41", "/41"},
        CameraPathCase {"ICA:/41/DSC0001.JPG", false, true, 41, "ICA:/41", "/41/DSC0001.JPG"},
        // Names the camera reports stay byte for byte: no query, fragment or escapes.
        CameraPathCase {"ICA:/41/My Photo #1.JPG", false, true, 41, "ICA:/41", "/41/My Photo #1.JPG"},
        CameraPathCase {"ICA:/41/100%?x.jpg", false, true, 41, "ICA:/41", "/41/100%?x.jpg"},
        CameraPathCase {"ICA:/41/%41.jpg", false, true, 41, "ICA:/41", "/41/%41.jpg"},
        CameraPathCase {"ICA:/41/Été à Zürich.jpg", false, true, 41, "ICA:/41", "/41/Été à Zürich.jpg"},
        // An authority keeps its own host; a colon in the first component ends the host.
        CameraPathCase {"ICA://41/x", false, true, 41, "ICA:/41", "/x"},
        CameraPathCase {"ICA://41", false, true, 41, "ICA:/41", ""},
        CameraPathCase {"ICA:/41:7/x", false, true, 41, "ICA:/41", "/41:7/x"},
        // Identifiers are signed 32-bit values written with %d.
        CameraPathCase {"ICA:/-2147483648/a.jpg", false, true, -2147483648LL, "ICA:/-2147483648", "/-2147483648/a.jpg"},
        // A camera path without a host names no camera.
        CameraPathCase {"ICA:/", false, true, 0, nullopt, "/"},
        CameraPathCase {"ICA:///41/x", false, true, 0, nullopt, "/41/x"},
        // The scheme is case-sensitive and must be followed by ":/".
        CameraPathCase {"ica:/41", false, false, 0, nullopt, nullopt},
        CameraPathCase {"ica:/41/x", false, false, 0, nullopt, nullopt},
        CameraPathCase {"ICAX:/41", false, false, 0, nullopt, nullopt},
        CameraPathCase {"ICA:41", false, false, 0, nullopt, nullopt},
        CameraPathCase {"IMG/x", false, false, 0, nullopt, nullopt},
        CameraPathCase {"/Volumes/Card/x", true, false, 0, nullopt, nullopt},
        CameraPathCase {"/Volumes/ICA:/41", true, false, 0, nullopt, nullopt},
        CameraPathCase {"", false, false, 0, nullopt, nullopt}));

struct UrlCase {
    const char* text;
    Text protocol;
    Text host;
};

class UrlTextTable : public ::testing::TestWithParam<UrlCase> { };

TEST_P(UrlTextTable, ProtocolAndHost)
{
    const UrlCase& c = GetParam();
    EXPECT_EQ(NSURLExtentions::protocol(c.text), c.protocol);
    EXPECT_EQ(NSURLExtentions::hostReplaced(c.text), c.host);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, UrlTextTable,
    ::testing::Values(UrlCase {"/usr/bin", nullopt, nullopt},
                      UrlCase {":/x", nullopt, nullopt},
                      UrlCase {"", nullopt, nullopt},
                      UrlCase {"http://example.org/a?b#c", "http", "example.org"},
                      UrlCase {"ftp://user@files.example.org:21/pub", "ftp", "files.example.org"},
                      UrlCase {"scheme://rest", "scheme", "rest"},
                      UrlCase {"http://example.org?q=1", "http", "example.org"},
                      UrlCase {"file:///tmp/x", "file", nullopt},
                      UrlCase {"ICA:/41/a:b/c", "ICA", "41"},
                      UrlCase {"mailto:someone", nullopt, nullopt}));

TEST(CameraPathIdentifier, OutOfRangeDigitsSaturateInsteadOfOverflowing)
{
    EXPECT_EQ(NSStringDevices::icaDeviceID("ICA:/99999999999999999999999/x"), INT64_MAX);
    EXPECT_EQ(NSStringDevices::icaDeviceID("ICA:/-99999999999999999999999/x"), INT64_MIN);
    EXPECT_EQ(NSStringDevices::icaDeviceID("ICA:/12abc/x"), 12);
    EXPECT_EQ(NSStringDevices::icaDeviceID("ICA:/abc/x"), 0);
}

} // namespace
} // namespace vistel
