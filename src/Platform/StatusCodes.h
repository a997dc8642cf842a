#pragma once
// System status codes: how run-time failures of file, volume and camera services travel.
//
// A status is a signed 32-bit integer: 0 is success, negative values are the system status
// codes below. They are stored as integers in records and dictionaries (file-operation status
// records, updater results) and turned into words for the user in one place, the file-error
// alert. Every file service turns errno into a status through statusFromErrno(), so that the
// same failure always carries the same code whichever service met it.
//
// A few positive codes also reach the file-error alert: raw errno values (17, 28) and the
// file-writing error codes (513, 514, 640) of the save services; they are named here too.

#include <cstdint>
#include <string>
#include <string_view>

namespace vistel {

using StatusCode = std::int32_t;

namespace status {

inline constexpr StatusCode NoError = 0;

inline constexpr StatusCode DirectoryFull = -33;
inline constexpr StatusCode DiskFull = -34;
inline constexpr StatusCode NoSuchVolume = -35;
inline constexpr StatusCode IOError = -36;
// The user (or a program on its behalf) cancelled the operation.
inline constexpr StatusCode UserCanceled = -128;
inline constexpr StatusCode BadName = -37;            // name too long or not valid
inline constexpr StatusCode EndOfFile = -39;
inline constexpr StatusCode MemoryFull = -41;
inline constexpr StatusCode TooManyFilesOpen = -42;
inline constexpr StatusCode NoSuchObject = -43;       // no such file or folder (also a nil camera object)
inline constexpr StatusCode VolumeLockedByHardware = -44;
inline constexpr StatusCode ObjectLocked = -45;
inline constexpr StatusCode VolumeLockedBySoftware = -46; // also a read-only file system
inline constexpr StatusCode ObjectBusy = -47;         // in use, or a folder that is not empty
inline constexpr StatusCode DuplicateName = -48;
inline constexpr StatusCode ParameterError = -50;     // also a camera object without identifier
inline constexpr StatusCode BadReference = -51;
inline constexpr StatusCode PermissionDenied = -54;   // also a camera that cannot delete
inline constexpr StatusCode NoErrorObject = -61;      // a failure that came without an error object
inline constexpr StatusCode FolderNotFound = -120;
inline constexpr StatusCode NotAFile = -1302;         // a folder where a file was expected
inline constexpr StatusCode DifferentVolumes = -1303;
inline constexpr StatusCode NoMoreItems = -1417;      // end of a folder listing; not a failure
inline constexpr StatusCode QuotaExceeded = -1425;
inline constexpr StatusCode OperationNotSupported = -1426;
inline constexpr StatusCode NotEnoughSpaceForOperation = -1429;
inline constexpr StatusCode NameAlreadyTaken = -1027;
inline constexpr StatusCode PathTooLong = -2110;
inline constexpr StatusCode AccessDenied = -5000;
inline constexpr StatusCode NoCodec = -8960;          // no codec decodes the picture
inline constexpr StatusCode NotConnectedToInternet = -1009;

// Positive codes that share the file-error alert's rules.
inline constexpr StatusCode PosixFileExists = 17;         // EEXIST as a raw number
inline constexpr StatusCode PosixNoSpace = 28;            // ENOSPC as a raw number
inline constexpr StatusCode FileWriteNoPermission = 513;
inline constexpr StatusCode FileWriteInvalidName = 514;
inline constexpr StatusCode FileWriteOutOfSpace = 640;    // also: the safe save got no data or no path

} // namespace status

// The status for an errno value: 0 for 0, a known code for the errors file services meet, and
// IOError for any other error. Never answers a positive value.
StatusCode statusFromErrno(int error) noexcept;

// A short description for logs ("no such file or folder"); "unknown status" for codes this
// table does not name.
std::string_view statusDescription(StatusCode status) noexcept;

// "-43 (no such file or folder)": the code and its description, for log lines.
std::string statusText(StatusCode status);

} // namespace vistel
