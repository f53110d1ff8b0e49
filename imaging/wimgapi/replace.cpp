// SPDX-License-Identifier: GPL-3.0-or-later
#include "replace.h"

#include "internal.h"
#include "mounttable.h"
#include "utf16.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace wimgapi {

namespace {

constexpr const char* kInfix = ".kestrel-new-";

struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

void splitPath(const std::string& path, std::string& dir, std::string& name)
{
    const size_t slash = path.rfind('/');
    dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    name = slash == std::string::npos ? path : path.substr(slash + 1);
}

void removeStaleReplacements(const std::string& dir, const std::string& name)
{
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return;
    const std::string prefix = name + kInfix;
    while (const dirent* e = ::readdir(d)) {
        const std::string entry = e->d_name;
        if (entry.compare(0, prefix.size(), prefix) != 0)
            continue;
        const long pid = std::strtol(entry.c_str() + prefix.size(), nullptr, 10);
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            ::unlink((dir + "/" + entry).c_str());
    }
    ::closedir(d);
}

bool syncFolder(const std::string& dir)
{
    Fd d;
    d.fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return d.fd >= 0 && ::fsync(d.fd) == 0;
}

} // namespace

bool MakeReplacementName(const std::string& path, std::string& fresh)
{
    std::string dir, name;
    splitPath(path, dir, name);
    removeStaleReplacements(dir, name);
    std::string pattern = path + kInfix + std::to_string(::getpid()) + "-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    fresh = pattern;
    return true;
}

bool RenameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
    struct stat st{};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool ReplaceImageFile(const std::string& fresh, const std::string& target)
{
    std::string dir, name;
    splitPath(target, dir, name);
    Fd newFile;
    newFile.fd = ::open(fresh.c_str(), O_RDONLY | O_CLOEXEC);
    if (newFile.fd < 0)
        return false;
    Fd old;
    old.fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (old.fd < 0) {
        if (errno != ENOENT)
            return false;
        // Nothing to replace, so nothing can be lost: the new file is not
        // synced first (as no copying tool does). It must not go over one
        // that appeared meanwhile.
        if (!RenameNoReplace(fresh, target)) {
            if (errno == EEXIST)
                errno = EBUSY;
            return false;
        }
        syncFolder(dir);
        return true;
    }
    if (::flock(old.fd, LOCK_EX | LOCK_NB) != 0) {
        errno = EBUSY;
        return false;
    }
    struct stat locked{}, now{};
    if (::fstat(old.fd, &locked) != 0 || ::stat(target.c_str(), &now) != 0 || locked.st_dev != now.st_dev ||
        locked.st_ino != now.st_ino || MountedForWriting(target)) {
        errno = EBUSY;
        return false;
    }
    // Owner and mode carry over where the file system keeps them (FAT,
    // network shares and FUSE file systems may refuse).
    (void)::fchown(newFile.fd, locked.st_uid, locked.st_gid);
    (void)::fchmod(newFile.fd, locked.st_mode & 07777);
    if (::fsync(newFile.fd) != 0)
        return false;
    if (::rename(fresh.c_str(), target.c_str()) != 0)
        return false;
    syncFolder(dir);
    return true;
}

} // namespace wimgapi

extern "C" {

BOOL WIMReplaceImageFile(const char16_t* newPath, const char16_t* targetPath, DWORD flags)
{
    return wimgapi::Guarded<BOOL>(FALSE, [&]() -> BOOL {
        if (!newPath || !*newPath || !targetPath || !*targetPath || flags != 0) {
            errno = EINVAL;
            return FALSE;
        }
        return wimgapi::ReplaceImageFile(wimgapi::ToUtf8(newPath), wimgapi::ToUtf8(targetPath)) ? TRUE : FALSE;
    });
}

} // extern "C"
