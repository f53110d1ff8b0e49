// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/mountoperations.h"

#include "common/textutil.h"
#include "pages/core/workfolders.h"

#include <QDir>
#include <QFileInfo>

#include <QFile>

#include <cerrno>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The commit's progress arrives through a callback registered for every
// file, on a thread of wimlib's unmount (not always the one that called it).
// One dispatcher is registered for the whole process and hands WIM_MSG_PROGRESS
// to the sink of the unmount that runs; the program runs one operation at a
// time, so no export or capture speaks at the same time.
std::mutex g_sinkMutex;
const std::function<void(int)>* g_percentSink = nullptr;

DWORD unmountProgressDispatch(DWORD msg, WPARAM wParam, LPARAM, void*)
{
    if (msg != WIM_MSG_PROGRESS)
        return 0;
    std::lock_guard lock(g_sinkMutex);
    if (g_percentSink && *g_percentSink) {
        try {
            (*g_percentSink)(static_cast<int>(wParam));
        } catch (...) {
            // A sink that fails costs a progress line, never the commit.
        }
    }
    return 0;
}

bool registerUnmountDispatch()
{
    static std::once_flag once;
    static bool registered = false;
    std::call_once(once, [] {
        registered = ImagingApi.WIMRegisterMessageCallback &&
                     ImagingApi.WIMRegisterMessageCallback(nullptr, unmountProgressDispatch, nullptr) !=
                         INVALID_CALLBACK_VALUE;
    });
    return registered;
}

// Sets the sink for the duration of one unmount.
class PercentSinkScope {
public:
    explicit PercentSinkScope(const std::function<void(int)>* sink)
    {
        std::lock_guard lock(g_sinkMutex);
        m_previous = g_percentSink;
        g_percentSink = sink;
    }
    ~PercentSinkScope()
    {
        std::lock_guard lock(g_sinkMutex);
        g_percentSink = m_previous;
    }
    PercentSinkScope(const PercentSinkScope&) = delete;
    PercentSinkScope& operator=(const PercentSinkScope&) = delete;

private:
    const std::function<void(int)>* m_previous = nullptr;
};

} // namespace

MountStepResult MountImageInto(const QString& folder, const QString& imageFile, uint32_t index, bool readWrite,
                               const QString& tempFolder)
{
    if (!ImagingApi.WIMMountImage)
        return {false, ENOSYS};
    if (readWrite && !tempFolder.isEmpty() && !QFileInfo(tempFolder).isDir())
        QDir().mkpath(tempFolder);
    errno = 0;
    const BOOL ok = ImagingApi.WIMMountImage(Utf16(folder), Utf16(imageFile), index,
                                             readWrite ? Utf16(tempFolder) : nullptr);
    return {ok != FALSE, ok ? 0 : errno};
}

bool IsStillMounted(const QString& folder)
{
    return FindMountByFolder(GetMountedImages(), folder).has_value();
}

MountStepResult UnmountImageAt(const MountEntry& entry, bool commit, int looks,
                               const std::function<void(int percent)>& onPercent)
{
    if (!ImagingApi.WIMUnmountImage)
        return {false, ENOSYS};
    const bool listen = onPercent && commit && entry.readWrite && registerUnmountDispatch();
    PercentSinkScope scope(listen ? &onPercent : nullptr);
    errno = 0;
    const bool ok = ImagingApi.WIMUnmountImage(Utf16(entry.mountPath), Utf16(entry.imagePath), entry.imageIndex,
                                               commit && entry.readWrite ? TRUE : FALSE)
        != FALSE;
    const int error = errno;
    if (ok)
        return {true, 0};
    for (int look = 0; look < looks; ++look) {
        if (!IsStillMounted(entry.mountPath))
            return {true, 0};
    }
    return {false, error};
}

MountStepResult RemountImagesAt(const QString& folder, bool* matched)
{
    *matched = folder.isEmpty();
    if (!ImagingApi.WIMRemountImage || !ImagingApi.WIMGetMountedImageInfo)
        return {false, ENOSYS};
    MountStepResult result{true, 0};
    for (const MountEntry& m : GetMountedImageInfo()) {
        if (!folder.isEmpty() && !SameMountPath(m.mountPath, folder))
            continue;
        *matched = true; // a mount that still runs needs nothing
        if (!(m.flags & WIM_MOUNT_FLAG_REMOUNTABLE))
            continue;
        QDir().mkpath(m.mountPath);
        errno = 0;
        if (!ImagingApi.WIMRemountImage(Utf16(m.mountPath), 0) && result.ok)
            result = {false, errno};
    }
    return result;
}

std::vector<MountEntry> RefreshMountList(bool cleanInvalid)
{
    if (cleanInvalid)
        CleanupMounts(false);
    return GetMountedImages();
}

bool RemoveMountFolder(const QString& folder)
{
    if (folder.isEmpty() || IsStillMounted(folder))
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
    const FolderCleanResult emptied = CleanFolderContents(QString::fromLocal8Bit(path), FolderCleanRules());
    if (!emptied.started || emptied.failed > 0 || !emptied.spared.isEmpty())
        return false;
    return ::rmdir(path.constData()) == 0 && !QFileInfo::exists(folder);
}
