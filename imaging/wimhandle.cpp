// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/wimhandle.h"

#include "common/settings.h"
#include "common/textutil.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <utility>

namespace {

WimHandle openTwice(const QString& path, DWORD access, DWORD disposition, DWORD flags, DWORD compression)
{
    if (!ImagingApi.WIMCreateFile)
        return {};
    DWORD created = 0;
    HANDLE handle = ImagingApi.WIMCreateFile(Utf16(path), access, disposition, flags, compression, &created);
    if (!handle) {
        // A solid LZMS file (ESD) opens only when it is allowed explicitly.
        created = 0;
        handle = ImagingApi.WIMCreateFile(Utf16(path), access, disposition, WIM_FLAG_ALLOW_LZMS, compression, &created);
    }
    return WimHandle(handle);
}

DWORD lzmsFlag(uint32_t compression)
{
    return compression == WIM_COMPRESS_LZMS ? WIM_FLAG_ALLOW_LZMS : 0;
}

} // namespace

WimHandle& WimHandle::operator=(WimHandle&& other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

HANDLE WimHandle::release()
{
    return std::exchange(m_handle, nullptr);
}

bool WimHandle::close()
{
    HANDLE handle = release();
    if (!handle || !ImagingApi.WIMCloseHandle)
        return false;
    return ImagingApi.WIMCloseHandle(handle) != FALSE;
}

void WimHandle::reset(HANDLE handle)
{
    close();
    m_handle = handle;
}

WimHandle OpenImageFileRead(const QString& path)
{
    return openTwice(path, WIM_GENERIC_READ, WIM_OPEN_EXISTING, 0, WIM_COMPRESS_NONE);
}

WimHandle OpenImageFileReadWrite(const QString& path)
{
    return openTwice(path, WIM_GENERIC_READ | WIM_GENERIC_WRITE, WIM_OPEN_EXISTING, 0, WIM_COMPRESS_NONE);
}

WimHandle OpenImageFileAppend(const QString& path, uint32_t compression)
{
    return openTwice(path, WIM_GENERIC_READ | WIM_GENERIC_WRITE, WIM_OPEN_ALWAYS, lzmsFlag(compression), compression);
}

WimHandle CreateImageFileWrite(const QString& path, uint32_t compression)
{
    return openTwice(path, WIM_GENERIC_WRITE, WIM_CREATE_ALWAYS, lzmsFlag(compression), compression);
}

WimHandle OpenImageFileModify(const QString& path, uint32_t compression)
{
    return openTwice(path, WIM_GENERIC_READ | WIM_GENERIC_WRITE, WIM_OPEN_EXISTING, lzmsFlag(compression), compression);
}

bool SetTemporaryFolder(HANDLE wim, const QString& folder)
{
    if (!ImagingApi.WIMSetTemporaryPath) {
        errno = ENOSYS;
        return false;
    }
    const QString path = folder.isEmpty() ? SystemTempPath() : folder;
    if (!QFileInfo(path).isDir())
        QDir().mkpath(path);
    return ImagingApi.WIMSetTemporaryPath(wim, Utf16(path)) != FALSE;
}
