// SPDX-License-Identifier: GPL-3.0-or-later
#include "handles.h"

#include "errors.h"
#include "internal.h"
#include "mounttable.h"
#include "progress.h"
#include "replace.h"
#include "wimheader.h"

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <new>
#include <set>
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

// A parsed XML document of a large file is many small blocks; once freed
// they are handed back to the system, or a later open on another thread
// (another malloc arena) would add its own copy to the process's peak.
void freeWim(WIMStruct* wim)
{
    if (!wim)
        return;
    wimlib_free(wim);
    ::malloc_trim(0);
}

} // namespace

WimFile::~WimFile()
{
    // A pending change that nobody wrote (its handles were never closed) is
    // dropped with the WIMStruct; so is the lock, with wimlib's descriptor.
    for (WIMStruct* ref : references)
        wimlib_free(ref);
    freeWim(wim);
}

int WimFile::openFlags() const
{
    return writable() ? WIMLIB_OPEN_FLAG_WRITE_ACCESS : 0;
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

std::set<int> openDescriptors()
{
    std::set<int> out;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        const int own = ::dirfd(d);
        while (const dirent* e = ::readdir(d)) {
            if (e->d_name[0] != '.' && std::atoi(e->d_name) != own)
                out.insert(std::atoi(e->d_name));
        }
        ::closedir(d);
    }
    return out;
}

// The image metadata entries of a file whose blob table the header check
// could not read, checked in the table wimlib unpacked before any image is
// loaded.
bool metadataFitsFile(WIMStruct* wim, uint64_t fileSize)
{
    struct Check {
        uint64_t fileSize;
        bool fits = true;
    } check{fileSize};
    const auto visit = [](const wimlib_resource_entry* e, void* context) -> int {
        auto* c = static_cast<Check*>(context);
        if (e->is_metadata && !MetadataEntryFits(e->compressed_size, e->offset, e->uncompressed_size,
                                                 e->is_compressed, e->packed, c->fileSize)) {
            c->fits = false;
            return 1; // stops the walk
        }
        return 0;
    };
    const int ret = wimlib_iterate_lookup_table(wim, 0, visit, &check);
    return ret == 0 && check.fits;
}

// Opens a file through wimlib and finds the descriptor wimlib reads it with:
// wimlib locks that descriptor when it writes, so the layer's lock must be
// held on the same open file to be the same lock. Opens are serialised so
// that two handles of this library cannot take each other's descriptor.
int openWim(const std::string& path, int flags, WIMStruct** wim, int* fd)
{
    static std::mutex openMutex;
    std::lock_guard lock(openMutex);
    const std::set<int> before = openDescriptors();
    bool tableCompressed = false;
    if (!HeaderFitsFile(path, &tableCompressed)) {
        errno = 0;
        return WIMLIB_ERR_INVALID_HEADER;
    }
    errno = 0;
    const int ret = wimlib_open_wim(path.c_str(), flags, wim);
    const int saved = errno;
    *fd = -1;
    if (ret != 0) {
        errno = saved;
        return ret;
    }
    struct stat file{};
    const bool statted = ::stat(path.c_str(), &file) == 0;
    if (tableCompressed && !metadataFitsFile(*wim, statted ? static_cast<uint64_t>(file.st_size) : 0)) {
        wimlib_free(*wim);
        *wim = nullptr;
        errno = 0;
        return WIMLIB_ERR_INVALID_HEADER;
    }
    if (statted) {
        for (int candidate : openDescriptors()) {
            struct stat st{};
            if (!before.count(candidate) && ::fstat(candidate, &st) == 0 && st.st_dev == file.st_dev &&
                st.st_ino == file.st_ino) {
                *fd = *fd < 0 ? candidate : -2;
            }
        }
    }
    if (*fd == -2)
        *fd = -1;
    return 0;
}

} // namespace

int OpenWimTracked(const std::string& path, int flags, WIMStruct** wim, int* fd)
{
    return openWim(path, flags, wim, fd);
}

bool WimFile::reopen()
{
    EnsureWimlib();
    // The state is taken before reading, so that a write that lands between
    // the two shows as a change at the next look, never the other way round.
    const DiskState state = readDiskState(path);
    // The old WIMStruct goes first, so that the file's XML (which can be
    // tens of megabytes, and several times that parsed) is held once.
    freeWim(wim);
    wim = nullptr;
    wimFd = -1;
    locked = false;
    WIMStruct* fresh = nullptr;
    int freshFd = -1;
    int ret = openWim(path, openFlags(), &fresh, &freshFd);
    if (ret == 0 && !references.empty())
        ret = wimlib_reference_resources(fresh, references.data(), static_cast<unsigned>(references.size()), 0);
    if (ret != 0) {
        const int saved = errno;
        wimlib_free(fresh);
        // An empty stand-in keeps every later call well defined; the next
        // change reads the file again (its state is unknown).
        if (wimlib_create_new_wim(WIMLIB_COMPRESSION_TYPE_NONE, &wim) != 0)
            throw std::bad_alloc();
        diskState = DiskState{};
        diskImages = 0;
        pending = false;
        pendingDeletion = false;
        pendingElements.clear();
        pendingXmlByLayer = false;
        errno = saved;
        return SetErrnoFromWimlib(ret);
    }
    wim = fresh;
    wimFd = freshFd;
    pending = false;
    pendingDeletion = false;
    pendingElements.clear();
    pendingXmlByLayer = false;
    diskImages = imageCount();
    diskState = state;
    return true;
}

void WimFile::recordDiskState()
{
    diskState = readDiskState(path);
}

bool WimFile::lock()
{
    if (locked)
        return true;
    for (int attempt = 0; attempt < 3; ++attempt) {
        // After a failed read the file is read again first.
        if (wimFd < 0 && !pending && !reopen())
            return false;
        if (wimFd < 0 || ::flock(wimFd, LOCK_EX | LOCK_NB) != 0) {
            errno = EBUSY;
            return false;
        }
        struct stat held{};
        const DiskState now = readDiskState(path);
        const bool sameFile =
            ::fstat(wimFd, &held) == 0 && held.st_dev == now.device && held.st_ino == now.inode;
        if (sameFile && now == diskState) {
            locked = true;
            return true;
        }
        ::flock(wimFd, LOCK_UN);
        // Written or replaced since it was read: an in-memory change made
        // from the old view must not be written over it; anything else
        // starts again from what is on disk.
        if (pending) {
            errno = EBUSY;
            return false;
        }
        if (!reopen())
            return false;
    }
    errno = EBUSY;
    return false;
}

void WimFile::unlock()
{
    if (locked && wimFd >= 0)
        ::flock(wimFd, LOCK_UN);
    locked = false;
}

bool WimFile::beginChange()
{
    if (!checkWritable())
        return false;
    if (pending && !flush())
        return false;
    return lock();
}

bool WimFile::commit()
{
    if (!lock()) {
        const int saved = errno;
        reopen();
        errno = saved;
        return false;
    }
    // wimlib writes the file by its name: the name must still lead to the
    // file this change was made from and is locked (a program that does not
    // lock may have put another file there meanwhile).
    struct stat held{}, named{};
    if (::fstat(wimFd, &held) != 0 || ::stat(path.c_str(), &named) != 0 || held.st_dev != named.st_dev ||
        held.st_ino != named.st_ino) {
        unlock();
        reopen();
        errno = EBUSY;
        return false;
    }
    // wimlib appends to the existing file where it can (the earlier images are
    // left untouched until the new header is in place) and rebuilds otherwise.
    // A file that held no image yet is written whole, as a new file would be.
    const bool rebuild = diskImages == 0;
    // What the file held must be on the disk before the header that points
    // past it.
    int writeFlags = rebuild ? 0 : WIMLIB_WRITE_FLAG_FSYNC;
    if (isSolid())
        writeFlags |= WIMLIB_WRITE_FLAG_SOLID;
    // A deletion is written like any other change, after the data that is
    // there, instead of rebuilding the file under a new name.
    if (pendingDeletion)
        writeFlags |= WIMLIB_WRITE_FLAG_SOFT_DELETE;
    errno = 0;
    const int ret = rebuild ? writeWhole(writeFlags) : wimlib_overwrite(wim, writeFlags, 0);
    if (ret != 0)
        return discard(ret);
    // wimlib released the lock as its write ended; the lock of a file written
    // whole went with the file it replaced.
    unlock();
    pending = false;
    pendingDeletion = false;
    pendingElements.clear();
    pendingXmlByLayer = false;
    // wimlib's WIMStruct keeps the header it read, not the one it wrote:
    // the file is read again. A failure to read it leaves the change made.
    if (!reopen())
        return true;
    if (!rebuild && (diskState.device != held.st_dev || diskState.inode != held.st_ino)) {
        errno = EBUSY;
        return false;
    }
    return true;
}

int WimFile::writeWhole(int writeFlags)
{
    // Written under a new name beside the file and renamed over it, as
    // wimlib's rebuilding overwrite does, but without its sync: the file held
    // no image, so a crash can lose nothing, and a new file is not synced by
    // any copying tool either.
    wimlib_wim_info info{};
    wimlib_get_wim_info(wim, &info);
    if (info.has_integrity_table)
        writeFlags |= WIMLIB_WRITE_FLAG_CHECK_INTEGRITY;
    if (info.pipable)
        writeFlags |= WIMLIB_WRITE_FLAG_PIPABLE;
    std::string fresh;
    if (!MakeReplacementName(path, fresh))
        return WIMLIB_ERR_OPEN;
    // Written through a descriptor of the empty file the name was made with:
    // a path would have wimlib truncate it, and ext4 then writes the whole
    // file out when it is closed, as it does for a file replaced by
    // truncation.
    int ret = WIMLIB_ERR_OPEN;
    const int out = ::open(fresh.c_str(), O_WRONLY | O_CLOEXEC);
    if (out >= 0) {
        ret = wimlib_write_to_fd(wim, out, WIMLIB_ALL_IMAGES, writeFlags, 0);
        if (::close(out) != 0 && ret == 0)
            ret = WIMLIB_ERR_WRITE;
    }
    if (ret == 0) {
        // Still the file this change was made from and locked (see commit).
        struct stat held{}, named{};
        if (::fstat(wimFd, &held) != 0 || ::stat(path.c_str(), &named) != 0 || held.st_dev != named.st_dev ||
            held.st_ino != named.st_ino) {
            errno = EBUSY;
            ret = WIMLIB_ERR_RENAME;
        } else {
            // The name was made private; the file keeps the mode it had where
            // the file system keeps modes (FAT, network shares and FUSE file
            // systems may refuse). The empty file goes first, because ext4
            // writes a file out before it is renamed over another one.
            (void)::chmod(fresh.c_str(), held.st_mode & 07777);
            if (::unlink(path.c_str()) != 0 || !RenameNoReplace(fresh, path))
                ret = WIMLIB_ERR_RENAME;
        }
    }
    if (ret != 0) {
        const int saved = errno;
        ::unlink(fresh.c_str());
        errno = saved;
    }
    return ret;
}

bool WimFile::flush()
{
    if (!pending)
        return true;
    const std::map<int, std::string> elements = pendingElements;
    const bool byLayer = pendingXmlByLayer;
    bool ok = false;
    {
        ProgressBridge bridge(this);
        ok = commit();
    }
    if (!ok || !byLayer)
        return ok;
    // What wimlib's properties could not carry is stored now, as a change
    // of its own.
    std::string doc;
    if (!lock() || !LoadXmlDocument(*this, doc))
        return false;
    for (const auto& [index, element] : elements) {
        if (!ReplaceImageElement(doc, index, element))
            return false;
    }
    return StoreXmlDocument(*this, doc);
}

bool WimFile::discard(int wimlibError)
{
    const int saved = ErrnoFromWimlib(wimlibError);
    unlock();
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
