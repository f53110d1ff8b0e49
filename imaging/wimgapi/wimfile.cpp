// SPDX-License-Identifier: GPL-3.0-or-later
// Opening and creating image files, and the small calls on an open file.
#include "errors.h"
#include "internal.h"
#include "replace.h"
#include "utf16.h"
#include "wimheader.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

using namespace wimgapi;

namespace wimgapi {

namespace {

void noXmlMessages(void*, const char*, ...) {}

// wimlib reads XML with libxml2, whose parser prints its complaints about a
// damaged document to stderr through a per-thread generic error handler.
// The layer reports failures through errno only, so each thread that enters
// it (and every thread made later) gets a handler that prints nothing.
void quietXmlParser()
{
    thread_local bool done = false;
    if (done)
        return;
    done = true;
    void* xml = ::dlopen("libxml2.so.2", RTLD_LAZY | RTLD_NOLOAD);
    if (!xml)
        return;
    using Handler = void (*)(void*, const char*, ...);
    using Setter = void (*)(void*, Handler);
    for (const char* name : {"xmlSetGenericErrorFunc", "xmlThrDefSetGenericErrorFunc"}) {
        if (auto set = reinterpret_cast<Setter>(::dlsym(xml, name)))
            set(nullptr, &noXmlMessages);
    }
    ::dlclose(xml);
}

} // namespace

void EnsureWimlib()
{
    static std::once_flag once;
    std::call_once(once, [] {
        wimlib_global_init(WIMLIB_INIT_FLAG_ASSUME_UTF8);
        wimlib_set_print_errors(false);
    });
    quietXmlParser();
}

std::shared_ptr<WimFile> FileOf(HANDLE handle)
{
    if (auto image = Lookup<WimImage>(handle, HandleKind::Image))
        return image->file;
    return Lookup<WimFile>(handle, HandleKind::File);
}

} // namespace wimgapi

namespace {

bool isRegularFile(const std::string& path, bool& exists)
{
    struct stat st{};
    exists = ::stat(path.c_str(), &st) == 0;
    return exists && S_ISREG(st.st_mode);
}

// A new, empty image file on disk, so that the file exists (as the published
// API has it) and every later change can append to it. An existing file is
// replaced as a whole only once the new one is complete, under its lock.
bool writeEmptyFile(const std::string& path, DWORD compression, bool replace)
{
    std::string target = path;
    if (replace && !MakeReplacementName(path, target))
        return false;
    WIMStruct* wim = nullptr;
    errno = 0;
    int ret = wimlib_create_new_wim(static_cast<enum wimlib_compression_type>(compression), &wim);
    // Not synced here: a replacement is synced before it takes the old
    // file's place, and a new file replaces nothing.
    if (ret == 0)
        ret = wimlib_write(wim, target.c_str(), WIMLIB_ALL_IMAGES,
                           compression == WIM_COMPRESS_LZMS ? WIMLIB_WRITE_FLAG_SOLID : 0, 1);
    const int saved = errno;
    wimlib_free(wim);
    errno = saved;
    if (!SetErrnoFromWimlib(ret)) {
        const int failure = errno;
        ::unlink(target.c_str());
        errno = failure;
        return false;
    }
    if (replace && !ReplaceImageFile(target, path)) {
        const int failure = errno;
        ::unlink(target.c_str());
        errno = failure;
        return false;
    }
    return true;
}

// wimlib reports a file too short for a header as a read error; to callers
// it is simply not an image file.
bool looksLikeImageFile(const std::string& path)
{
    char magic[8] = {};
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return true; // let wimlib report why it cannot be opened
    const size_t n = std::fread(magic, 1, sizeof(magic), f);
    const bool seekable = std::fseek(f, 0, SEEK_END) == 0;
    const long size = seekable ? std::ftell(f) : 0;
    std::fclose(f);
    return n == sizeof(magic) && size >= 208 && (std::memcmp(magic, "MSWIM\0\0\0", 8) == 0 ||
                                                 std::memcmp(magic, "WLPWM\0\0\0", 8) == 0);
}

} // namespace

extern "C" {

HANDLE WIMCreateFile(const char16_t* path, DWORD access, DWORD disposition, DWORD flags, DWORD compression,
                     DWORD* creationResult)
{
    return Guarded<HANDLE>(nullptr, [&]() -> HANDLE {
        EnsureWimlib();
        if (!path || !*path || compression > WIM_COMPRESS_LZMS ||
            (access & (WIM_GENERIC_READ | WIM_GENERIC_WRITE | WIM_GENERIC_MOUNT)) == 0 ||
            disposition < WIM_CREATE_NEW || disposition > WIM_OPEN_ALWAYS) {
            errno = EINVAL;
            return nullptr;
        }
        auto file = std::make_shared<WimFile>();
        file->path = ToUtf8(path);
        file->access = access;
        file->flags = flags;

        bool exists = false;
        const bool regular = isRegularFile(file->path, exists);
        if (exists && !regular) {
            errno = EISDIR;
            return nullptr;
        }
        bool create = false;
        switch (disposition) {
        case WIM_CREATE_NEW:
            if (exists) {
                errno = EEXIST;
                return nullptr;
            }
            create = true;
            break;
        case WIM_CREATE_ALWAYS:
            create = true;
            break;
        case WIM_OPEN_EXISTING:
            if (!exists) {
                errno = ENOENT;
                return nullptr;
            }
            break;
        case WIM_OPEN_ALWAYS:
            create = !exists;
            break;
        }
        if (create) {
            if (!file->writable()) {
                errno = EACCES;
                return nullptr;
            }
            if (compression == WIM_COMPRESS_LZMS && !(flags & WIM_FLAG_ALLOW_LZMS)) {
                errno = ENOTSUP;
                return nullptr;
            }
            if (!writeEmptyFile(file->path, compression, exists))
                return nullptr;
            file->created = !exists;
        }
        if (!looksLikeImageFile(file->path)) {
            errno = ENOEXEC;
            return nullptr;
        }
        if (!file->reopen()) {
            const int saved = errno;
            if (file->created)
                ::unlink(file->path.c_str());
            errno = saved;
            return nullptr;
        }
        // Solid LZMS files open only for callers that say they handle them.
        if (file->isSolid() && !(flags & WIM_FLAG_ALLOW_LZMS)) {
            errno = ENOTSUP;
            return nullptr;
        }
        if (creationResult)
            *creationResult = create ? WIM_CREATED_NEW : WIM_OPENED_EXISTING;
        return RegisterHandle(std::move(file));
    });
}

BOOL WIMCloseHandle(HANDLE handle)
{
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        // Closing the handle of an image not yet written, or its file,
        // writes it; the handle is closed whether or not that succeeds.
        bool written = true;
        int error = 0;
        if (auto image = Lookup<WimImage>(handle, HandleKind::Image)) {
            WimFile& file = *image->file;
            std::lock_guard lock(file.mutex);
            if (image->writesOnClose && file.isPendingImage(image->index) && !file.flush()) {
                written = false;
                error = errno;
                file.failedChange = true;
            }
        } else if (auto file = Lookup<WimFile>(handle, HandleKind::File)) {
            std::lock_guard lock(file->mutex);
            if (!file->flush()) {
                written = false;
                error = errno;
                file->failedChange = true;
            }
            // A file this handle made for a change that failed is not left
            // behind as an empty image file.
            struct stat st{}, held{};
            if (file->created && file->failedChange && file->diskImages == 0 && file->wimFd >= 0 &&
                ::stat(file->path.c_str(), &st) == 0 && ::fstat(file->wimFd, &held) == 0 &&
                st.st_dev == held.st_dev && st.st_ino == held.st_ino)
                ::unlink(file->path.c_str());
        }
        if (!ReleaseHandle(handle))
            return FALSE;
        if (!written) {
            errno = error;
            return FALSE;
        }
        return TRUE;
    });
}

DWORD WIMGetImageCount(HANDLE wim)
{
    return Guarded<DWORD>(0, [&]() -> DWORD {
        auto file = Lookup<WimFile>(wim, HandleKind::File);
        if (!file)
            return 0;
        std::lock_guard lock(file->mutex);
        errno = 0;
        return static_cast<DWORD>(file->imageCount());
    });
}

BOOL WIMGetAttributes(HANDLE wim, void* out, DWORD bytes)
{
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        auto file = Lookup<WimFile>(wim, HandleKind::File);
        if (!file)
            return FALSE;
        if (!out || bytes < sizeof(WIM_INFO)) {
            errno = out ? ENOBUFS : EINVAL;
            return FALSE;
        }
        std::lock_guard lock(file->mutex);
        wimlib_wim_info info{};
        wimlib_get_wim_info(file->wim, &info);
        WIM_INFO result{};
        CopyUnits(result.WimPath, WIM_MAX_PATH, ToUtf16(file->path));
        // The GUID's bytes are stored in the header as Windows keeps them.
        std::memcpy(&result.Guid, info.guid, sizeof(result.Guid));
        result.ImageCount = info.image_count;
        result.CompressionType = static_cast<DWORD>(info.compression_type);
        result.PartNumber = info.part_number;
        result.TotalParts = info.total_parts;
        result.BootIndex = info.boot_index;
        DWORD attributes = WIM_ATTRIBUTE_NORMAL;
        if (info.has_integrity_table)
            attributes |= WIM_ATTRIBUTE_VERIFY_DATA;
        if (info.has_rpfix)
            attributes |= WIM_ATTRIBUTE_RP_FIX;
        if (info.total_parts > 1 || info.spanned)
            attributes |= WIM_ATTRIBUTE_SPANNED;
        if (info.is_readonly || info.is_marked_readonly)
            attributes |= WIM_ATTRIBUTE_READONLY;
        if (info.resource_only)
            attributes |= WIM_ATTRIBUTE_RESOURCE_ONLY;
        if (info.metadata_only)
            attributes |= WIM_ATTRIBUTE_METADATA_ONLY;
        result.WimAttributes = attributes;
        result.WimFlagsAndAttr = file->flags;
        std::memcpy(out, &result, sizeof(result));
        return TRUE;
    });
}

BOOL WIMSetTemporaryPath(HANDLE wim, const char16_t* path)
{
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        auto file = Lookup<WimFile>(wim, HandleKind::File);
        if (!file)
            return FALSE;
        if (!path || !*path) {
            errno = EINVAL;
            return FALSE;
        }
        const std::string dir = ToUtf8(path);
        struct stat st{};
        if (::stat(dir.c_str(), &st) != 0)
            return FALSE; // errno from stat
        if (!S_ISDIR(st.st_mode)) {
            errno = ENOTDIR;
            return FALSE;
        }
        std::lock_guard lock(file->mutex);
        file->tempPath = dir;
        return TRUE;
    });
}

BOOL WIMSetReferenceFile(HANDLE wim, const char16_t* path, DWORD flags)
{
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        auto file = Lookup<WimFile>(wim, HandleKind::File);
        if (!file)
            return FALSE;
        if (!path || !*path || ((flags & WIM_REFERENCE_APPEND) && (flags & WIM_REFERENCE_REPLACE))) {
            errno = EINVAL;
            return FALSE;
        }
        const std::string refPath = ToUtf8(path);
        std::lock_guard lock(file->mutex);
        if (!file->flush())
            return FALSE;
        WIMStruct* part = nullptr;
        errno = 0;
        int ret = wimlib_open_wim(refPath.c_str(), 0, &part);
        if (ret != 0)
            return SetErrnoFromWimlib(ret);
        // A replacing reference starts the list over, so the WIMStruct is
        // reopened without the earlier parts first.
        if (flags & WIM_REFERENCE_REPLACE) {
            std::vector<WIMStruct*> old;
            old.swap(file->references);
            file->referencePaths.clear();
            if (!file->reopen()) {
                const int saved = errno;
                file->references.swap(old);
                wimlib_free(part);
                errno = saved;
                return FALSE;
            }
            for (WIMStruct* w : old)
                wimlib_free(w);
        }
        ret = wimlib_reference_resources(file->wim, &part, 1, 0);
        if (ret != 0) {
            wimlib_free(part);
            return SetErrnoFromWimlib(ret);
        }
        file->references.push_back(part);
        file->referencePaths.push_back(refPath);
        return TRUE;
    });
}

BOOL WIMSetBootImage(HANDLE wim, DWORD index)
{
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        auto file = Lookup<WimFile>(wim, HandleKind::File);
        if (!file)
            return FALSE;
        std::lock_guard lock(file->mutex);
        if (!file->checkWritable())
            return FALSE;
        wimlib_wim_info info{};
        info.boot_index = index;
        // With an image not yet written, the mark is written with it.
        if (file->pending) {
            if (!file->checkIndex(index, true))
                return FALSE;
            return SetErrnoFromWimlib(wimlib_set_wim_info(file->wim, &info, WIMLIB_CHANGE_BOOT_INDEX)) ? TRUE : FALSE;
        }
        ChangeScope scope(*file);
        if (!file->beginChange() || !file->checkIndex(index, true))
            return FALSE;
        // The mark is one write into the header; wimlib would write the
        // whole XML again for it.
        const int fd = ::open(file->path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            return FALSE;
        struct stat written{}, held{};
        bool stored = ::fstat(fd, &written) == 0 && ::fstat(file->wimFd, &held) == 0 &&
                      written.st_dev == held.st_dev && written.st_ino == held.st_ino;
        if (!stored)
            errno = EBUSY;
        else
            stored = StoreBootIndex(fd, index);
        const int saved = errno;
        ::close(fd);
        if (stored) {
            wimlib_set_wim_info(file->wim, &info, WIMLIB_CHANGE_BOOT_INDEX);
            file->recordDiskState();
            return TRUE;
        }
        if (saved != ENOTSUP && saved != EIO) {
            errno = saved;
            return FALSE;
        }
        // A header the layer does not write itself: wimlib does it.
        const int ret = wimlib_set_wim_info(file->wim, &info, WIMLIB_CHANGE_BOOT_INDEX);
        if (ret != 0)
            return file->discard(ret);
        return file->commit() ? TRUE : FALSE;
    });
}

HANDLE WIMLoadImage(HANDLE wim, DWORD index)
{
    return Guarded<HANDLE>(nullptr, [&]() -> HANDLE {
        auto file = Lookup<WimFile>(wim, HandleKind::File);
        if (!file)
            return nullptr;
        std::lock_guard lock(file->mutex);
        if (!file->checkIndex(index))
            return nullptr;
        // The metadata is read now so that a damaged image fails here, as the
        // callers expect, and not in the middle of their operation.
        struct Probe {
            static int cb(const struct wimlib_dir_entry*, void*) { return 0; }
        };
        const int ret = wimlib_iterate_dir_tree(file->wim, static_cast<int>(index), "", 0, &Probe::cb, nullptr);
        if (ret != 0) {
            SetErrnoFromWimlib(ret);
            return nullptr;
        }
        return RegisterHandle(std::make_shared<WimImage>(file, static_cast<int>(index)));
    });
}

BOOL WIMDeleteImage(HANDLE wim, DWORD index)
{
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        auto file = Lookup<WimFile>(wim, HandleKind::File);
        if (!file)
            return FALSE;
        std::lock_guard lock(file->mutex);
        ChangeScope scope(*file);
        if (!file->beginChange() || !file->checkIndex(index))
            return FALSE;
        errno = 0;
        const int ret = wimlib_delete_image(file->wim, static_cast<int>(index));
        if (ret != 0)
            return file->discard(ret);
        file->pendingDeletion = true;
        return file->commit() ? TRUE : FALSE;
    });
}

DWORD WIMRegisterMessageCallback(HANDLE wim, WIM_MESSAGE_CALLBACK callback, void* user)
{
    return Guarded<DWORD>(INVALID_CALLBACK_VALUE, [&]() -> DWORD {
        if (!callback) {
            errno = EINVAL;
            return INVALID_CALLBACK_VALUE;
        }
        if (!wim) {
            std::lock_guard lock(GlobalCallbackMutex());
            GlobalCallbacks().push_back({callback, user});
            return static_cast<DWORD>(GlobalCallbacks().size() - 1);
        }
        auto file = Lookup<WimFile>(wim, HandleKind::File);
        if (!file)
            return INVALID_CALLBACK_VALUE;
        std::lock_guard lock(file->callbackMutex);
        file->callbacks.push_back({callback, user});
        return static_cast<DWORD>(file->callbacks.size() - 1);
    });
}

BOOL WIMUnregisterMessageCallback(HANDLE wim, WIM_MESSAGE_CALLBACK callback)
{
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        // A null callback removes every callback of the handle.
        auto removeFrom = [&](std::vector<CallbackEntry>& list) {
            const size_t before = list.size();
            std::erase_if(list, [&](const CallbackEntry& e) { return !callback || e.callback == callback; });
            if (list.size() == before && callback) {
                errno = ENOENT;
                return FALSE;
            }
            return TRUE;
        };
        if (!wim) {
            std::lock_guard lock(GlobalCallbackMutex());
            return removeFrom(GlobalCallbacks());
        }
        auto file = Lookup<WimFile>(wim, HandleKind::File);
        if (!file)
            return FALSE;
        std::lock_guard lock(file->callbackMutex);
        return removeFrom(file->callbacks);
    });
}

} // extern "C"
