#include "Platform/StatusCodes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <utility>

namespace vistel {
namespace {

TEST(StatusCodes, ErrnoTable)
{
    const std::pair<int, StatusCode> table[] = {
        {0, 0},
        {ENOENT, -43},
        {EACCES, -5000},
        {EPERM, -5000},
        {EEXIST, -48},
        {ENOSPC, -34},
        {EDQUOT, -34},
        {EIO, -36},
        {EROFS, -46},
        {EXDEV, -1303},
        {ENAMETOOLONG, -37},
        {EMFILE, -42},
        {ENFILE, -42},
        {ENOMEM, -41},
        {ENOTDIR, -120},
        {EISDIR, -1302},
        {ENOTEMPTY, -47},
        {EBUSY, -47},
        {EINVAL, -50},
        {ENOTSUP, -1426},
        {ENODEV, -35},
    };
    for (const auto& [error, expected] : table)
        EXPECT_EQ(statusFromErrno(error), expected) << "errno " << error;
}

TEST(StatusCodes, AnyOtherErrorIsAnIOErrorAndNeverPositive)
{
    EXPECT_EQ(statusFromErrno(EPIPE), status::IOError);
    EXPECT_EQ(statusFromErrno(123456), status::IOError);
    EXPECT_EQ(statusFromErrno(-1), status::IOError);
    for (int error = 1; error < 200; ++error)
        EXPECT_LT(statusFromErrno(error), 0) << "errno " << error;
}

TEST(StatusCodes, DescriptionsForLogs)
{
    EXPECT_EQ(statusText(status::NoSuchObject), "-43 (no such file or folder)");
    EXPECT_EQ(statusText(-1), "-1 (unknown status)");
    // Every code a file service can answer has a description of its own.
    for (int error = 0; error < 200; ++error)
        EXPECT_NE(statusDescription(statusFromErrno(error)), "unknown status") << "errno " << error;
    for (StatusCode code : {status::OperationNotSupported, status::FileWriteOutOfSpace, status::NoCodec,
                            status::DifferentVolumes, status::ObjectLocked})
        EXPECT_NE(statusDescription(code), "unknown status") << code;
}

} // namespace
} // namespace vistel
