// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/mountsteps.h"

#include "common/textutil.h"
#include "imaging/imagingapi.h"
#include "imaging/mountlist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// nftw has no user pointer; the walk runs on one thread at a time per thread.
thread_local int t_removeFailures = 0;

int removeEntry(const char* path, const struct stat*, int type, struct FTW*)
{
    int rc = 0;
    switch (type) {
    case FTW_DP:
        rc = ::rmdir(path);
        break;
    case FTW_F:
    case FTW_SL:
    case FTW_SLN:
        rc = ::unlink(path);
        break;
    default:
        // Unreadable folders (FTW_DNR) and entries that cannot be stat'ed.
        rc = -1;
        break;
    }
    if (rc != 0)
        ++t_removeFailures;
    return 0;
}

} // namespace

bool MountImageAt(const QString& folder, const QString& imageFile, uint32_t index, bool readWrite,
                  const QString& tempFolder)
{
    if (!ImagingApi.WIMMountImage) {
        errno = ENOSYS;
        return false;
    }
    if (readWrite && !tempFolder.isEmpty() && !QFileInfo(tempFolder).isDir())
        QDir().mkpath(tempFolder);
    errno = 0;
    return ImagingApi.WIMMountImage(Utf16(folder), Utf16(imageFile), index, readWrite ? Utf16(tempFolder) : nullptr)
        != FALSE;
}

bool UnmountImageAt(const QString& folder, const QString& imageFile, uint32_t index, bool commit)
{
    if (!ImagingApi.WIMUnmountImage) {
        errno = ENOSYS;
        return false;
    }
    errno = 0;
    if (ImagingApi.WIMUnmountImage(Utf16(folder), Utf16(imageFile), index, commit ? TRUE : FALSE))
        return true;
    const int error = errno;
    if (!IsImageMountedAt(folder))
        return true;
    errno = error;
    return false;
}

bool IsImageMountedAt(const QString& folder)
{
    return FindMountByFolder(GetMountedImages(), folder).has_value();
}

bool RemoveMountFolder(const QString& folder)
{
    if (folder.isEmpty() || IsImageMountedAt(folder))
        return false;
    const QByteArray path = QFile::encodeName(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
    struct stat self {};
    struct stat parent {};
    if (::lstat(path.constData(), &self) != 0 || !S_ISDIR(self.st_mode))
        return false;
    const QByteArray up = QFile::encodeName(QFileInfo(QString::fromLocal8Bit(path)).absolutePath());
    // A folder on another device than its parent is a mount point: whatever
    // is mounted there is not ours to delete.
    if (path == "/" || ::stat(up.constData(), &parent) != 0 || parent.st_dev != self.st_dev)
        return false;
    t_removeFailures = 0;
    const int rc = ::nftw(path.constData(), removeEntry, 16, FTW_PHYS | FTW_MOUNT | FTW_DEPTH);
    return rc == 0 && t_removeFailures == 0 && !QFileInfo::exists(folder);
}

QString WithSystemError(const QString& what, int error)
{
    return error ? what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)) : what;
}
