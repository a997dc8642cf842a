#include "Platform/StatusCodes.h"

#include <cerrno>

namespace vistel {

StatusCode statusFromErrno(int error) noexcept
{
    switch (error) {
    case 0: return status::NoError;
    case ENOENT: return status::NoSuchObject;
    case ENOTDIR: return status::FolderNotFound;
    case EISDIR: return status::NotAFile;
    case EACCES:
    case EPERM: return status::AccessDenied;
    case EEXIST: return status::DuplicateName;
    case ENOTEMPTY:
    case EBUSY:
    case ETXTBSY: return status::ObjectBusy;
    case ENOSPC:
    case EDQUOT: return status::DiskFull;
    case EIO: return status::IOError;
    case EROFS: return status::VolumeLockedBySoftware;
    case EXDEV: return status::DifferentVolumes;
    case ENAMETOOLONG:
    case EILSEQ: return status::BadName;
    case EMFILE:
    case ENFILE: return status::TooManyFilesOpen;
    case ENOMEM: return status::MemoryFull;
    case EINVAL: return status::ParameterError;
    case EBADF: return status::BadReference;
    case ENODEV:
    case ENXIO:
    case ENOMEDIUM: return status::NoSuchVolume;
    case ENOTSUP: return status::OperationNotSupported;
    case EMLINK: return status::DirectoryFull;
    default: return status::IOError;
    }
}

std::string_view statusDescription(StatusCode code) noexcept
{
    switch (code) {
    case status::NoError: return "no error";
    case status::UserCanceled: return "cancelled by the user";
    case status::DirectoryFull: return "folder full";
    case status::DiskFull: return "disk full";
    case status::NoSuchVolume: return "no such volume";
    case status::IOError: return "I/O error";
    case status::BadName: return "bad file name";
    case status::EndOfFile: return "end of file";
    case status::MemoryFull: return "not enough memory";
    case status::TooManyFilesOpen: return "too many files open";
    case status::NoSuchObject: return "no such file or folder";
    case status::VolumeLockedByHardware: return "volume locked by hardware";
    case status::ObjectLocked: return "item locked";
    case status::VolumeLockedBySoftware: return "volume locked or read-only";
    case status::ObjectBusy: return "item busy or folder not empty";
    case status::DuplicateName: return "name already exists";
    case status::ParameterError: return "invalid parameter";
    case status::BadReference: return "bad file reference";
    case status::PermissionDenied: return "permission denied";
    case status::NoErrorObject: return "failed without an error";
    case status::FolderNotFound: return "folder not found";
    case status::NameAlreadyTaken: return "name already taken";
    case status::NotConnectedToInternet: return "not connected to the internet";
    case status::NotAFile: return "folder where a file was expected";
    case status::DifferentVolumes: return "items on different volumes";
    case status::NoMoreItems: return "no more items";
    case status::QuotaExceeded: return "quota exceeded";
    case status::OperationNotSupported: return "operation not supported";
    case status::NotEnoughSpaceForOperation: return "not enough space for the operation";
    case status::PathTooLong: return "path too long";
    case status::AccessDenied: return "access denied";
    case status::NoCodec: return "no codec for the picture";
    case status::PosixFileExists: return "file exists";
    case status::PosixNoSpace: return "no space left on device";
    case status::FileWriteNoPermission: return "no permission to write";
    case status::FileWriteInvalidName: return "invalid file name";
    case status::FileWriteOutOfSpace: return "out of space, or nothing to write";
    default: return "unknown status";
    }
}

std::string statusText(StatusCode code)
{
    std::string text = std::to_string(code);
    text += " (";
    text += statusDescription(code);
    text += ')';
    return text;
}

} // namespace vistel
