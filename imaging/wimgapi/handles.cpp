// SPDX-License-Identifier: GPL-3.0-or-later
#include "handles.h"

#include "errors.h"
#include "mountlist.h"

#include <sys/stat.h>

#include <cerrno>
#include <unordered_map>

namespace wimgapi {

namespace {

std::mutex& tableMutex()
{
    static std::mutex m;
    return m;
}

std::unordered_map<HANDLE, std::shared_ptr<HandleObject>>& table()
{
    static std::unordered_map<HANDLE, std::shared_ptr<HandleObject>> t;
    return t;
}

} // namespace

WimFile::~WimFile()
{
    wimlib_free(wim);
    for (WIMStruct* ref : references)
        wimlib_free(ref);
}

int WimFile::openFlags() const
{
    return writable() ? WIMLIB_OPEN_FLAG_WRITE_ACCESS : 0;
}

bool WimFile::reopen()
{
    WIMStruct* fresh = nullptr;
    int ret = wimlib_open_wim(path.c_str(), openFlags(), &fresh);
    if (ret == 0 && !references.empty())
        ret = wimlib_reference_resources(fresh, references.data(), static_cast<unsigned>(references.size()), 0);
    if (ret != 0) {
        wimlib_free(fresh);
        return SetErrnoFromWimlib(ret);
    }
    wimlib_free(wim);
    wim = fresh;
    diskImages = imageCount();
    recordDiskState();
    return true;
}

namespace {

DiskState readDiskState(const std::string& path)
{
    DiskState state;
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0) {
        state.device = st.st_dev;
        state.inode = st.st_ino;
        state.size = st.st_size;
        state.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    }
    return state;
}

} // namespace

void WimFile::recordDiskState()
{
    diskState = readDiskState(path);
}

bool WimFile::refreshIfChanged()
{
    if (readDiskState(path) == diskState)
        return true;
    return reopen();
}

bool WimFile::commit()
{
    // Written by someone else while this change was being prepared: writing
    // now would drop their work, so this change is given up instead.
    if (readDiskState(path) != diskState) {
        reopen();
        errno = EBUSY;
        return false;
    }
    int writeFlags = isSolid() ? WIMLIB_WRITE_FLAG_SOLID : 0;
    // wimlib appends to the existing file where it can (the earlier images are
    // left untouched until the new header is in place) and rebuilds otherwise.
    // A file that held no image yet is written whole, as a new file would be.
    if (diskImages == 0)
        writeFlags |= WIMLIB_WRITE_FLAG_REBUILD;
    const int ret = wimlib_overwrite(wim, writeFlags, 0);
    if (ret != 0)
        return discard(ret);
    return reopen();
}

bool WimFile::discard(int wimlibError)
{
    const int saved = ErrnoFromWimlib(wimlibError);
    reopen();
    errno = saved;
    return false;
}

bool WimFile::isSplit() const
{
    wimlib_wim_info info{};
    wimlib_get_wim_info(wim, &info);
    return info.total_parts > 1;
}

bool WimFile::checkWritable() const
{
    if (!writable()) {
        errno = EACCES;
        return false;
    }
    if (MountedForWriting(path)) {
        errno = EBUSY;
        return false;
    }
    return true;
}

bool WimFile::checkIndex(DWORD index, bool zeroAllowed) const
{
    if ((index >= 1 || zeroAllowed) && index <= static_cast<DWORD>(imageCount()))
        return true;
    errno = EINVAL;
    return false;
}

bool WimFile::isSolid() const
{
    wimlib_wim_info info{};
    wimlib_get_wim_info(wim, &info);
    return info.wim_version == 0xE00;
}

int WimFile::imageCount() const
{
    wimlib_wim_info info{};
    wimlib_get_wim_info(wim, &info);
    return static_cast<int>(info.image_count);
}

HANDLE RegisterHandle(std::shared_ptr<HandleObject> object)
{
    // Handles are numbers that are never given out twice. The object's own
    // address would come back for the next object of the same size, and a
    // handle used after its close would then act on somebody else's file.
    static uintptr_t last = 0x10000;
    std::lock_guard lock(tableMutex());
    last += 0x10;
    HANDLE h = reinterpret_cast<HANDLE>(last);
    table().emplace(h, std::move(object));
    return h;
}

bool ReleaseHandle(HANDLE handle)
{
    std::shared_ptr<HandleObject> doomed; // destroyed outside the lock
    std::lock_guard lock(tableMutex());
    auto it = table().find(handle);
    if (it == table().end()) {
        errno = EINVAL;
        return false;
    }
    doomed = std::move(it->second);
    table().erase(it);
    return true;
}

std::shared_ptr<HandleObject> LookupHandle(HANDLE handle, HandleKind kind)
{
    std::lock_guard lock(tableMutex());
    auto it = table().find(handle);
    if (it == table().end() || it->second->kind != kind) {
        errno = EINVAL;
        return nullptr;
    }
    return it->second;
}

std::mutex& GlobalCallbackMutex()
{
    static std::mutex m;
    return m;
}

std::vector<CallbackEntry>& GlobalCallbacks()
{
    static std::vector<CallbackEntry> list;
    return list;
}

std::vector<CallbackEntry> CallbacksFor(WimFile* file)
{
    std::vector<CallbackEntry> out;
    if (file) {
        std::lock_guard lock(file->callbackMutex);
        out = file->callbacks;
    }
    std::lock_guard lock(GlobalCallbackMutex());
    out.insert(out.end(), GlobalCallbacks().begin(), GlobalCallbacks().end());
    return out;
}

} // namespace wimgapi
