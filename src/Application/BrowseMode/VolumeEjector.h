#pragma once
// VolumeEjector: ejecting a volume from the sidebar.
//
// The sidebar gathers what an eject needs on the main thread (ejectRequestForVolume: plain
// values, never the catalogue item) and hands it to startVolumeEject, which ejects on a
// detached worker through the disk service (UDisks2Client::ejectVolume: unmount, then eject an
// optical disc or power a USB drive off). When the volume cannot be ejected the worker asks
// the user, through ZovThreadSafeAlert, and waits for the answer:
//   "The disk %@ is in use and could not be ejected."  (the volume's display name)
//   "The volume is locked by %@."                       (the command name of a process that
//                                                        uses the volume; empty when none is
//                                                        found)
//   "OK" / "Eject anyway"
// "Eject anyway" ejects again with options word 1 (a forced unmount); a second failure is
// not reported. Success needs nothing more here: the volume manager sees the mount go, the
// catalogue announces the unmount and the sidebar removes the row.
//
// Thread rules: ejectRequestForVolume on the main thread; startVolumeEject from any thread,
// `finished` runs on the main thread with the last attempt's status.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "Platform/StatusCodes.h"

namespace vistel {

class FileSystemVolumeMO;

struct VolumeEjectRequest {
    std::string mountPoint;
    // The st_dev of the mount point: the block device (or anonymous device) mounted there.
    std::uint64_t deviceNumber = 0;
    // The name the user knows the volume by, for the failure alert.
    std::string displayName;
    // The volume's device type: "USB", "CD", "DVD", "HD", "Nework", ...
    std::string deviceType;
    // 1 for "DVD", "CD" and "DMG" (and for "Eject anyway"): the unmount is forced; else 0.
    std::uint32_t options = 0;
    std::int16_t refNum = 0;
};

// The options word of a device type: 1 for "DVD", "CD" and "DMG", else 0.
std::uint32_t ejectOptionsForDeviceType(const std::string& deviceType);

// What ejecting `volume` needs, read now on the main thread; nullopt for null, a camera, or a
// volume that is not mounted (its device information is not a ZovVolumeInfo).
std::optional<VolumeEjectRequest> ejectRequestForVolume(FileSystemVolumeMO* volume);

// Ejects on a detached worker; asks the user on failure as described above; then `finished`
// (when given) on the main thread with 0 or the last attempt's status.
void startVolumeEject(VolumeEjectRequest request, std::function<void(StatusCode)> finished = {});

} // namespace vistel
