// SPDX-License-Identifier: GPL-3.0-or-later
#include "errors.h"

#include <wimlib.h>

#include <cerrno>

namespace wimgapi {

namespace {

// The system's own reason for a failed read, write or open, which wimlib
// leaves in errno (callers clear errno before the wimlib call), when it says
// more than a generic failure.
int systemCause(int fallback)
{
    const int cause = errno;
    return cause != 0 && cause != EINTR ? cause : fallback;
}

} // namespace

int ErrnoFromWimlib(int e)
{
    switch (e) {
    // A full disk, a folder without write permission, a part that is not
    // there: the system's own error says what to do about it.
    case WIMLIB_ERR_WRITE:
    case WIMLIB_ERR_READ:
    case WIMLIB_ERR_OPEN:
    case WIMLIB_ERR_OPENDIR:
        return systemCause(e == WIMLIB_ERR_OPEN || e == WIMLIB_ERR_OPENDIR ? ENOENT : EIO);
    case WIMLIB_ERR_NOMEM:
        return ENOMEM;
    // libxml2 reports an allocation failure as a document it could not read.
    case WIMLIB_ERR_XML:
        return errno == ENOMEM ? ENOMEM : EIO;
    case WIMLIB_ERR_SUCCESS:
        return 0;
    case WIMLIB_ERR_ABORTED_BY_PROGRESS:
        return ECANCELED;
    // An image that is already in the target (by identity or by name).
    case WIMLIB_ERR_DUPLICATE_EXPORTED_IMAGE:
    case WIMLIB_ERR_IMAGE_NAME_COLLISION:
        return EEXIST;
    // Not an image file at all: the Windows "bad format" error.
    case WIMLIB_ERR_NOT_A_WIM_FILE:
    case WIMLIB_ERR_UNKNOWN_VERSION:
    case WIMLIB_ERR_INVALID_HEADER:
    case WIMLIB_ERR_INVALID_CHUNK_SIZE:
    case WIMLIB_ERR_INVALID_COMPRESSION_TYPE:
    case WIMLIB_ERR_IMAGE_COUNT:
    case WIMLIB_ERR_INVALID_PIPABLE_WIM:
    case WIMLIB_ERR_WIM_IS_ENCRYPTED:
        return ENOEXEC;
    // An image file whose contents are damaged or cut short.
    case WIMLIB_ERR_DECOMPRESSION:
    case WIMLIB_ERR_INTEGRITY:
    case WIMLIB_ERR_INVALID_INTEGRITY_TABLE:
    case WIMLIB_ERR_INVALID_LOOKUP_TABLE_ENTRY:
    case WIMLIB_ERR_INVALID_METADATA_RESOURCE:
    case WIMLIB_ERR_INVALID_RESOURCE_HASH:
    case WIMLIB_ERR_INVALID_REPARSE_DATA:
    case WIMLIB_ERR_UNEXPECTED_END_OF_FILE:
    case WIMLIB_ERR_RESOURCE_ORDER:
    case WIMLIB_ERR_WIM_IS_INCOMPLETE:
    case WIMLIB_ERR_CONCURRENT_MODIFICATION_DETECTED:
        return EIO;
    // Parts of a split set that are missing or do not belong together.
    case WIMLIB_ERR_RESOURCE_NOT_FOUND:
    case WIMLIB_ERR_METADATA_NOT_FOUND:
    case WIMLIB_ERR_PATH_DOES_NOT_EXIST:
    case WIMLIB_ERR_GLOB_HAD_NO_MATCHES:
        return ENOENT;
    case WIMLIB_ERR_IS_SPLIT_WIM:
        return ENOTSUP;
    case WIMLIB_ERR_SPLIT_INVALID:
    case WIMLIB_ERR_INVALID_PART_NUMBER:
    case WIMLIB_ERR_INVALID_IMAGE:
    case WIMLIB_ERR_INVALID_PARAM:
    case WIMLIB_ERR_INVALID_CAPTURE_CONFIG:
    case WIMLIB_ERR_INVALID_OVERLAY:
        return EINVAL;
    case WIMLIB_ERR_NOTDIR:
        return ENOTDIR;
    case WIMLIB_ERR_IS_DIRECTORY:
        return EISDIR;
    case WIMLIB_ERR_NOTEMPTY:
        return ENOTEMPTY;
    case WIMLIB_ERR_WIM_IS_READONLY:
    case WIMLIB_ERR_INSUFFICIENT_PRIVILEGES:
    case WIMLIB_ERR_NOT_PERMITTED_TO_UNMOUNT:
        return EACCES;
    case WIMLIB_ERR_ALREADY_LOCKED:
    case WIMLIB_ERR_MOUNTED_IMAGE_IS_BUSY:
        return EBUSY;
    case WIMLIB_ERR_NOT_A_MOUNTPOINT:
        return EINVAL;
    case WIMLIB_ERR_FUSE:
    case WIMLIB_ERR_MQUEUE:
        return ENODEV;
    case WIMLIB_ERR_UNSUPPORTED:
    case WIMLIB_ERR_UNSUPPORTED_FILE:
    case WIMLIB_ERR_NOT_PIPABLE:
    case WIMLIB_ERR_COMPACTION_NOT_POSSIBLE:
    case WIMLIB_ERR_IMAGE_HAS_MULTIPLE_REFERENCES:
        return ENOTSUP;
    case WIMLIB_ERR_MKDIR:
    case WIMLIB_ERR_LINK:
    case WIMLIB_ERR_MKNOD:
    case WIMLIB_ERR_RENAME:
    case WIMLIB_ERR_SET_ATTRIBUTES:
    case WIMLIB_ERR_SET_REPARSE_DATA:
    case WIMLIB_ERR_SET_SECURITY:
    case WIMLIB_ERR_SET_SHORT_NAME:
    case WIMLIB_ERR_SET_TIMESTAMPS:
    case WIMLIB_ERR_SET_XATTR:
    case WIMLIB_ERR_STAT:
    case WIMLIB_ERR_READLINK:
        // wimlib left the cause in errno; keep it when it says something.
        return errno != 0 ? errno : EIO;
    default:
        return EIO;
    }
}

bool SetErrnoFromWimlib(int wimlibError)
{
    const int value = ErrnoFromWimlib(wimlibError);
    if (value != 0)
        errno = value;
    return value == 0;
}

} // namespace wimgapi
