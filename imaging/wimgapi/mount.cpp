// SPDX-License-Identifier: GPL-3.0-or-later
// The mount group: real FUSE mounts made by the mount service beside the
// library, unmounts through wimlib, and the list of mounted images.
#include "errors.h"
#include "internal.h"
#include "mounttable.h"
#include "progress.h"
#include "splitnames.h"
#include "utf16.h"
#include "wimheader.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

extern char** environ;

using namespace wimgapi;

namespace {

constexpr int kServiceTimeoutSeconds = 60;

std::string realPath(const std::string& path)
{
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) ? std::string(buf) : path;
}

// The canonical form of a mount folder, also when the folder itself cannot
// be looked at (a mount whose service is gone answers "not connected"):
// symbolic links on the way are followed, the last name is kept.
std::string canonicalFolder(std::string path)
{
    char buf[PATH_MAX];
    if (::realpath(path.c_str(), buf))
        return buf;
    for (int hops = 0; hops < 40; ++hops) {
        const ssize_t n = ::readlink(path.c_str(), buf, sizeof(buf) - 1);
        if (n <= 0)
            break;
        const std::string target(buf, static_cast<size_t>(n));
        const size_t slash = path.rfind('/');
        path = target.front() == '/' || slash == std::string::npos ? target : path.substr(0, slash + 1) + target;
    }
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return realPath(".") + "/" + path;
    const std::string parent = slash == 0 ? "/" : path.substr(0, slash);
    const std::string base = path.substr(slash + 1);
    const std::string canonParent = realPath(parent);
    return canonParent == "/" ? "/" + base : canonParent + "/" + base;
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// wimlib makes the staging folder of a read-write mount in the staging
// parent, named after the image file.
std::vector<std::string> stagingFolders(const MountRecord& r)
{
    std::vector<std::string> out;
    const std::string prefix = baseName(r.wimPath) + ".staging";
    if (DIR* d = ::opendir(r.tempPath.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0)
                out.push_back(r.tempPath + "/" + e->d_name);
        }
        ::closedir(d);
    }
    return out;
}

void removeTree(const std::string& path)
{
    DIR* d = ::opendir(path.c_str());
    if (d) {
        while (const dirent* e = ::readdir(d)) {
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
                continue;
            const std::string child = path + "/" + e->d_name;
            struct stat st{};
            if (::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                removeTree(child);
            else
                ::unlink(child.c_str());
        }
        ::closedir(d);
    }
    ::rmdir(path.c_str());
}

// The staging folder of a mount whose service is gone holds changes nobody
// can commit any more; it is removed with the mount (only the folder the
// service recorded, never another mount's).
void removeStaging(const MountRecord& r)
{
    if (r.staging.empty() || r.tempPath.empty())
        return;
    const std::string prefix = r.tempPath + "/" + baseName(r.wimPath) + ".staging";
    if (r.staging.compare(0, prefix.size(), prefix) == 0 && r.staging.find('/', prefix.size()) == std::string::npos)
        removeTree(r.staging);
}

uint64_t treeBytes(const std::string& path)
{
    uint64_t total = 0;
    DIR* d = ::opendir(path.c_str());
    if (!d)
        return 0;
    while (const dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        const std::string child = path + "/" + e->d_name;
        struct stat st{};
        if (::lstat(child.c_str(), &st) != 0)
            continue;
        total += S_ISDIR(st.st_mode) ? treeBytes(child) : static_cast<uint64_t>(st.st_size);
    }
    ::closedir(d);
    return total;
}

// Why a commit failed. The write happened in the mount's service, whose
// errno does not travel back; a write failure on a file system without room
// for the mount's changes is a full disk.
int commitError(int wimlibError, const LayerMount& e)
{
    if (wimlibError == WIMLIB_ERR_MOUNTED_IMAGE_IS_BUSY)
        return EBUSY;
    if (wimlibError != WIMLIB_ERR_WRITE)
        return ErrnoFromWimlib(wimlibError);
    const size_t slash = e.wimPath.rfind('/');
    struct statvfs fs{};
    if (slash != std::string::npos && ::statvfs(e.wimPath.substr(0, slash + 1).c_str(), &fs) == 0) {
        const uint64_t room = static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
        if (room < treeBytes(e.record.staging) + (1u << 20))
            return ENOSPC;
    }
    return EIO;
}

// The service lives beside this library, in the build tree as after installing.
std::string servicePath()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&WIMMountImage), &info) == 0 || !info.dli_fname)
        return {};
    std::string lib = realPath(info.dli_fname);
    const size_t slash = lib.rfind('/');
    return (slash == std::string::npos ? std::string(".") : lib.substr(0, slash)) + "/kestrel-wimserv";
}

// Runs a program with its output discarded and returns its exit status, or -1
// (errno set) when it could not start, was killed or did not end in time.
int runProgram(const std::vector<std::string>& args, int timeoutSeconds)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // The mount daemon outlives the caller's call; it must not keep the
    // caller's files, sockets or pipes open (a pipe held open would keep a
    // reader of the caller's output waiting for its end).
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    while (true) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            break;
        if (r < 0 && errno != EINTR)
            return -1;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            errno = ETIMEDOUT;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!WIFEXITED(status)) {
        errno = EIO;
        return -1;
    }
    return WEXITSTATUS(status);
}

std::string newToken()
{
    std::random_device rd;
    char buf[40];
    std::snprintf(buf, sizeof(buf), "%08x%08x%d", rd(), rd(), static_cast<int>(::getpid()));
    return buf;
}

bool fuseUsable()
{
    const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        errno = ENODEV;
        return false;
    }
    ::close(fd);
    return true;
}

bool isEmptyDir(const std::string& path)
{
    DIR* d = ::opendir(path.c_str());
    if (!d)
        return false;
    bool empty = true;
    while (const dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    ::closedir(d);
    if (!empty)
        errno = ENOTEMPTY;
    return empty;
}

// Detaches a mount whose service is gone (its folder answers "not connected").
bool detach(const std::string& mountPath)
{
    if (::umount2(mountPath.c_str(), MNT_DETACH) == 0)
        return true;
    return runProgram({"/bin/fusermount", "-u", "-z", mountPath}, 20) == 0;
}

// Starts the service for one mount and records it when it is up.
bool startService(const MountRecord& wanted)
{
    const std::string service = servicePath();
    if (service.empty() || ::access(service.c_str(), X_OK) != 0) {
        errno = ENOENT;
        return false;
    }
    MountRecord record = wanted;
    record.token = newToken();
    record.staging.clear();
    const std::vector<std::string> before = record.readWrite ? stagingFolders(record) : std::vector<std::string>();
    const int status = runProgram({service, "mount", record.wimPath, std::to_string(record.index), record.mountPath,
                                   record.readWrite ? record.tempPath : std::string(), record.token},
                                  kServiceTimeoutSeconds);
    if (status != 0) {
        if (status > 0)
            errno = status;
        return false;
    }
    if (record.readWrite) {
        for (const std::string& folder : stagingFolders(record)) {
            if (std::find(before.begin(), before.end(), folder) == before.end())
                record.staging = folder;
        }
    }
    WriteMountRecord(record);
    return true;
}

// wimlib's unmount returns once the daemon has answered; the daemon takes the
// mount down just after. Callers look at the mount list next, so wait for it.
void waitUntilGone(const std::string& mountPath)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        const auto points = WimfsMountPoints();
        if (std::find(points.begin(), points.end(), mountPath) == points.end())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool findMount(const std::string& mountPath, const std::string& wimPath, DWORD index, LayerMount& found)
{
    for (LayerMount& e : ListMounts()) {
        const bool hit = !mountPath.empty() ? e.mountPath == mountPath
                                            : (e.wimPath == wimPath && (index == 0 || e.index == index));
        if (hit) {
            found = std::move(e);
            return true;
        }
    }
    errno = ENOENT;
    return false;
}

bool pathExists(const std::string& p)
{
    struct stat st{};
    return ::stat(p.c_str(), &st) == 0;
}

DWORD mountFlags(const LayerMount& e)
{
    DWORD flags = 0;
    if (e.alive)
        flags |= WIM_MOUNT_FLAG_MOUNTED;
    else if (e.recorded)
        flags |= WIM_MOUNT_FLAG_REMOUNTABLE;
    else
        flags |= WIM_MOUNT_FLAG_INVALID;
    if (e.readWrite)
        flags |= WIM_MOUNT_FLAG_READWRITE;
    if (!e.wimPath.empty() && !pathExists(e.wimPath))
        flags |= WIM_MOUNT_FLAG_NO_WIM;
    // A dead FUSE mount cannot be looked at; its folder is still there.
    if (!e.inTable && !pathExists(e.mountPath))
        flags |= WIM_MOUNT_FLAG_NO_MOUNTDIR;
    return flags;
}

// Copies entries into a caller's buffer with the size protocol of both list
// calls: a null buffer asks for the size, a small one fails with ENOBUFS.
template <typename Entry, typename Fill>
BOOL fillList(const std::vector<LayerMount>& entries, void* buffer, DWORD bytes, DWORD* needed, Fill fill)
{
    const DWORD size = static_cast<DWORD>(entries.size() * sizeof(Entry));
    if (needed)
        *needed = size;
    if (!buffer)
        return TRUE;
    if (bytes < size) {
        errno = ENOBUFS;
        return FALSE;
    }
    auto* out = static_cast<Entry*>(buffer);
    for (size_t i = 0; i < entries.size(); ++i) {
        Entry item{};
        CopyUnits(item.WimPath, WIM_MAX_PATH, ToUtf16(entries[i].wimPath));
        CopyUnits(item.MountPath, WIM_MAX_PATH, ToUtf16(entries[i].mountPath));
        item.ImageIndex = entries[i].index;
        fill(item, entries[i]);
        std::memcpy(&out[i], &item, sizeof(item));
    }
    return TRUE;
}

} // namespace

extern "C" {

BOOL WIMMountImage(const char16_t* mountPath, const char16_t* wimPath, DWORD index, const char16_t* tempPath)
{
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        EnsureWimlib();
        if (!mountPath || !*mountPath || !wimPath || !*wimPath || index == 0) {
            errno = EINVAL;
            return FALSE;
        }
        MountRecord record;
        record.mountPath = realPath(ToUtf8(mountPath));
        record.wimPath = realPath(ToUtf8(wimPath));
        record.index = index;
        record.readWrite = tempPath && *tempPath;
        record.tempPath = record.readWrite ? realPath(ToUtf8(tempPath)) : std::string();
        struct stat st{};
        if (::stat(record.wimPath.c_str(), &st) != 0)
            return FALSE;
        // A part of a split set mounts as the whole set, read-only: the
        // service opens the first part and attaches the others.
        WimHeader header;
        const int fd = ::open(record.wimPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            const bool read = ::pread(fd, header.bytes, sizeof(header.bytes), 0) == static_cast<ssize_t>(sizeof(header.bytes));
            ::close(fd);
            const unsigned part = header.bytes[40] | (header.bytes[41] << 8);
            const unsigned total = header.bytes[42] | (header.bytes[43] << 8);
            if (read && total > 1) {
                if (record.readWrite) {
                    errno = ENOTSUP;
                    return FALSE;
                }
                record.wimPath = FirstSplitPartPath(record.wimPath, part);
                if (record.wimPath.empty() || ::stat(record.wimPath.c_str(), &st) != 0) {
                    errno = ENOENT;
                    return FALSE;
                }
            }
        }
        if (::stat(record.mountPath.c_str(), &st) != 0)
            return FALSE;
        if (!S_ISDIR(st.st_mode)) {
            errno = ENOTDIR;
            return FALSE;
        }
        if (record.readWrite && (::stat(record.tempPath.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
            errno = ENOTDIR;
            return FALSE;
        }
        for (const std::string& point : WimfsMountPoints()) {
            if (point == record.mountPath) {
                errno = EBUSY;
                return FALSE;
            }
        }
        if (!isEmptyDir(record.mountPath) || !fuseUsable())
            return FALSE;
        return startService(record) ? TRUE : FALSE;
    });
}

BOOL WIMUnmountImage(const char16_t* mountPath, const char16_t* wimPath, DWORD index, BOOL commit)
{
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        EnsureWimlib();
        const std::string mount = mountPath && *mountPath ? canonicalFolder(ToUtf8(mountPath)) : std::string();
        const std::string wim = wimPath && *wimPath ? realPath(ToUtf8(wimPath)) : std::string();
        if (mount.empty() && wim.empty()) {
            errno = EINVAL;
            return FALSE;
        }
        LayerMount e;
        if (!findMount(mount, wim, index, e))
            return FALSE;
        const bool wantCommit = commit && e.readWrite;
        if (e.alive) {
            // Not forced: a commit that fails (a full disk, files still open
            // in the mount) leaves the mount and its changes as they are, so
            // that the user can make room and commit again, or discard.
            // A file closed just before is released by the kernel a moment
            // later; until then the service counts it open.
            // The service sends the commit's write progress back to us; it
            // reaches the callbacks registered for every file as
            // WIM_MSG_PROGRESS on this thread.
            ProgressBridge bridge(nullptr);
            bridge.ignoreAbort();
            const int flags = wantCommit ? WIMLIB_UNMOUNT_FLAG_COMMIT : 0;
            int ret = 0;
            for (int attempt = 0; attempt < 60; ++attempt) {
                ret = wimlib_unmount_image_with_progress(e.mountPath.c_str(), flags, &ProgressBridge::onWimlib,
                                                         &bridge);
                if (ret != WIMLIB_ERR_MOUNTED_IMAGE_IS_BUSY)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            if (ret != 0) {
                errno = commitError(ret, e);
                return FALSE;
            }
            // The service's last progress messages can still be queued when
            // its answer arrives, and wimlib returns without reading them: a
            // commit that succeeded has written everything, so say so.
            if (wantCommit)
                bridge.reportBytes(1, 1);
            waitUntilGone(e.mountPath);
            RemoveMountRecord(e.mountPath);
            return TRUE;
        }
        // The service ended: whatever was changed in the mount is lost.
        if (e.inTable && !detach(e.mountPath))
            return FALSE;
        removeStaging(e.record);
        RemoveMountRecord(e.mountPath);
        if (wantCommit) {
            errno = ENOTCONN;
            return FALSE;
        }
        return TRUE;
    });
}

BOOL WIMRemountImage(const char16_t* mountPath, DWORD flags)
{
    (void)flags;
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        EnsureWimlib();
        if (!mountPath || !*mountPath) {
            errno = EINVAL;
            return FALSE;
        }
        LayerMount e;
        if (!findMount(canonicalFolder(ToUtf8(mountPath)), {}, 0, e))
            return FALSE;
        if (e.alive)
            return TRUE;
        if (!e.recorded) {
            errno = ENOENT;
            return FALSE;
        }
        if (e.inTable && !detach(e.mountPath))
            return FALSE;
        if (!fuseUsable())
            return FALSE;
        return startService(e.record) ? TRUE : FALSE;
    });
}

BOOL WIMGetMountedImages(void* list, DWORD* bytes)
{
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        if (!bytes) {
            errno = EINVAL;
            return FALSE;
        }
        std::vector<LayerMount> entries = ListMounts();
        std::erase_if(entries, [](const LayerMount& e) { return !e.inTable; });
        return fillList<WIM_MOUNT_LIST>(entries, list, *bytes, bytes, [](WIM_MOUNT_LIST& item, const LayerMount& e) {
            item.MountedForRW = e.readWrite ? TRUE : FALSE;
        });
    });
}

BOOL WIMGetMountedImageInfo(DWORD level, DWORD* imageCount, void* buffer, DWORD bytes, DWORD* returned)
{
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        if (!imageCount || !returned || level > MountedImageInfoLevel1) {
            errno = EINVAL;
            return FALSE;
        }
        const std::vector<LayerMount> entries = ListMounts();
        *imageCount = static_cast<DWORD>(entries.size());
        if (level == MountedImageInfoLevel0)
            return fillList<WIM_MOUNT_LIST>(entries, buffer, bytes, returned,
                                            [](WIM_MOUNT_LIST& item, const LayerMount& e) {
                                                item.MountedForRW = e.readWrite ? TRUE : FALSE;
                                            });
        return fillList<WIM_MOUNT_INFO_LEVEL1>(entries, buffer, bytes, returned,
                                               [](WIM_MOUNT_INFO_LEVEL1& item, const LayerMount& e) {
                                                   item.MountFlags = mountFlags(e);
                                               });
    });
}

BOOL WIMDeleteImageMounts(DWORD flags)
{
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        EnsureWimlib();
        const bool all = (flags & WIM_DELETE_MOUNTS_ALL) != 0;
        bool ok = true;
        int firstError = 0;
        for (const LayerMount& e : ListMounts()) {
            const DWORD state = mountFlags(e);
            // A mount whose service is gone cannot commit what its staging
            // folder holds, and a remount starts a new one.
            if (!e.alive && e.recorded) {
                removeStaging(e.record);
                if (!e.record.staging.empty()) {
                    MountRecord kept = e.record;
                    kept.staging.clear();
                    WriteMountRecord(kept);
                }
            }
            // Without "all", only what can never be used again goes: mounts
            // nobody knows how to remount, and records whose file is gone.
            if (!all && !(state & (WIM_MOUNT_FLAG_INVALID | WIM_MOUNT_FLAG_NO_WIM)))
                continue;
            bool done = true;
            if (e.alive) {
                done = wimlib_unmount_image(e.mountPath.c_str(), WIMLIB_UNMOUNT_FLAG_FORCE) == 0 || detach(e.mountPath);
                waitUntilGone(e.mountPath);
            } else if (e.inTable)
                done = detach(e.mountPath);
            if (done) {
                RemoveMountRecord(e.mountPath);
            } else if (ok) {
                ok = false;
                firstError = errno ? errno : EBUSY;
            }
        }
        if (!ok)
            errno = firstError;
        return ok ? TRUE : FALSE;
    });
}

} // extern "C"
