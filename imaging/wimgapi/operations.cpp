// SPDX-License-Identifier: GPL-3.0-or-later
// The long operations: capture, apply, export and split.
#include "errors.h"
#include "internal.h"
#include "pendingxml.h"
#include "progress.h"
#include "utf16.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

using namespace wimgapi;

namespace {

// Split parts take no new images.
bool checkNotSplit(const WimFile& file)
{
    if (!file.isSplit())
        return true;
    errno = ENOTSUP;
    return false;
}

// The identity of an image: the SHA-1 of its metadata resource (its whole
// tree: names, attributes, times, security and the hashes of its data) and
// the time it was captured. An export keeps both, whatever the image is
// named; two captures of the same unchanged tree differ in their time.
struct ImageIdentity {
    std::array<uint8_t, 20> metadataHash{};
    std::string creationTime;
    bool operator==(const ImageIdentity&) const = default;
};

int collectMetadataHash(const wimlib_resource_entry* entry, void* user)
{
    // wimlib lists the images' metadata resources first, in image order;
    // the first data resource ends the walk.
    if (!entry->is_metadata)
        return 1;
    std::array<uint8_t, 20> hash{};
    std::copy(std::begin(entry->sha1_hash), std::end(entry->sha1_hash), hash.begin());
    static_cast<std::vector<std::array<uint8_t, 20>>*>(user)->push_back(hash);
    return 0;
}

std::string creationTime(WIMStruct* wim, int image)
{
    const char* high = wimlib_get_image_property(wim, image, "CREATIONTIME/HIGHPART");
    const char* low = wimlib_get_image_property(wim, image, "CREATIONTIME/LOWPART");
    return std::string(high ? high : "") + '/' + (low ? low : "");
}

// The identities of a file's images, image 1 first, including images
// exported into it and not yet written; an image whose tree is not hashed
// yet (changed in memory) gets no identity, so it never matches.
std::vector<std::optional<ImageIdentity>> imageIdentities(WIMStruct* wim)
{
    std::vector<std::array<uint8_t, 20>> hashes;
    const int ret = wimlib_iterate_lookup_table(wim, 0, collectMetadataHash, &hashes);
    std::vector<std::optional<ImageIdentity>> ids;
    if (ret != 0 && ret != 1)
        return ids;
    for (size_t i = 0; i < hashes.size(); ++i) {
        if (hashes[i] == std::array<uint8_t, 20>{})
            ids.emplace_back();
        else
            ids.emplace_back(ImageIdentity{hashes[i], creationTime(wim, static_cast<int>(i) + 1)});
    }
    return ids;
}

// Whether image `index` of `source` is in `target` already, by its tree and
// capture time rather than by its name: an unnamed image exported twice is
// the same image too.
bool imageAlreadyIn(WIMStruct* source, int index, WIMStruct* target)
{
    const std::vector<std::optional<ImageIdentity>> from = imageIdentities(source);
    if (index < 1 || static_cast<size_t>(index) > from.size() || !from[index - 1])
        return false;
    for (const std::optional<ImageIdentity>& id : imageIdentities(target)) {
        if (id && *id == *from[index - 1])
            return true;
    }
    return false;
}

struct ApplyScan {
    ProgressBridge* bridge;
    std::string target;
    std::vector<std::string> excluded;
    uint64_t entries = 0;
};

int scanForApply(const struct wimlib_dir_entry* entry, void* context)
{
    auto* scan = static_cast<ApplyScan*>(context);
    try {
        if (entry->depth == 0)
            return 0;
        const std::string inImage = entry->full_path;
        // Everything below an excluded folder goes with it.
        if (!scan->excluded.empty()) {
            const std::string& last = scan->excluded.back();
            if (inImage.size() > last.size() && inImage.compare(0, last.size(), last) == 0 &&
                inImage[last.size()] == '/')
                return 0;
        }
        bool keep = true;
        if (!scan->bridge->askProcess(scan->target + inImage, keep))
            return 1;
        if (keep)
            ++scan->entries;
        else
            scan->excluded.push_back(inImage);
        return 0;
    } catch (...) {
        return 1;
    }
}

int largestResource(const struct wimlib_resource_entry* entry, void* context)
{
    auto* largest = static_cast<uint64_t*>(context);
    const uint64_t size = entry->packed ? entry->raw_resource_compressed_size : entry->compressed_size;
    if (size > *largest)
        *largest = size;
    return 0;
}

} // namespace

extern "C" {

HANDLE WIMCaptureImage(HANDLE wim, const char16_t* path, DWORD flags)
{
    return Guarded<HANDLE>(nullptr, [&]() -> HANDLE {
        auto file = Lookup<WimFile>(wim, HandleKind::File);
        if (!file)
            return nullptr;
        if (!path || !*path) {
            errno = EINVAL;
            return nullptr;
        }
        std::string source = ToUtf8(path);
        while (source.size() > 1 && source.back() == '/')
            source.pop_back();
        struct stat st{};
        if (::stat(source.c_str(), &st) != 0)
            return nullptr;
        std::lock_guard lock(file->mutex);
        ChangeScope scope(*file);
        if (!file->beginChange() || !checkNotSplit(*file))
            return nullptr;
        int addFlags = WIMLIB_ADD_FLAG_TEST_FILE_EXCLUSION;
        if (flags & WIM_FLAG_NO_RP_FIX)
            addFlags |= WIMLIB_ADD_FLAG_NORPFIX;
        {
            ProgressBridge bridge(file.get());
            // The image gets no name here; callers set the image's XML after.
            errno = 0;
            const int ret = wimlib_add_image(file->wim, source.c_str(), nullptr, nullptr, addFlags);
            if (ret != 0) {
                file->failedChange = true;
                file->discard(ret);
                return nullptr;
            }
        }
        // Written when its handle closes (see wimgapi.h), with what is set on
        // it until then.
        const int index = file->imageCount();
        file->pending = true;
        file->pendingElements[index] = CapturedImageElement(file->wim, index);
        return RegisterHandle(std::make_shared<WimImage>(file, index, true));
    });
}

BOOL WIMApplyImage(HANDLE image, const char16_t* path, DWORD flags)
{
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        auto img = Lookup<WimImage>(image, HandleKind::Image);
        if (!img)
            return FALSE;
        if (!path || !*path) {
            errno = EINVAL;
            return FALSE;
        }
        std::string target = ToUtf8(path);
        while (target.size() > 1 && target.back() == '/')
            target.pop_back();
        WimFile& file = *img->file;
        std::lock_guard lock(file.mutex);
        // Exclusions change the image in memory and are dropped by reading
        // the file again, which must not drop an image not yet written.
        if (!file.flush())
            return FALSE;
        ProgressBridge bridge(&file);

        // Every path of the image is offered to the callbacks first; the
        // excluded ones are dropped from the in-memory image only.
        ApplyScan scan{&bridge, target == "/" ? std::string() : target, {}, 0};
        int ret = wimlib_iterate_dir_tree(file.wim, img->index, "", WIMLIB_ITERATE_DIR_TREE_FLAG_RECURSIVE,
                                          &scanForApply, &scan);
        if (bridge.aborted()) {
            errno = ECANCELED;
            return FALSE;
        }
        if (ret != 0)
            return SetErrnoFromWimlib(ret);
        const bool changed = !scan.excluded.empty();
        for (const std::string& p : scan.excluded) {
            ret = wimlib_delete_path(file.wim, img->index, p.c_str(), WIMLIB_DELETE_FLAG_RECURSIVE);
            if (ret != 0)
                return file.discard(ret);
        }
        bridge.setFileTotal(scan.entries);
        int extractFlags = 0;
        if (flags & (WIM_FLAG_NO_DIRACL | WIM_FLAG_NO_FILEACL))
            extractFlags |= WIMLIB_EXTRACT_FLAG_NO_ACLS;
        if (flags & WIM_FLAG_NO_RP_FIX)
            extractFlags |= WIMLIB_EXTRACT_FLAG_NORPFIX;
        errno = 0;
        ret = wimlib_extract_image(file.wim, img->index, target.c_str(), extractFlags);
        if (ret != 0) {
            if (changed)
                return file.discard(ret);
            return SetErrnoFromWimlib(ret);
        }
        bridge.send(WIM_MSG_SETPOS, 0, static_cast<LPARAM>(scan.entries));
        // The exclusions must never reach the file: drop them from memory.
        if (changed && !file.reopen())
            return FALSE;
        return TRUE;
    });
}

BOOL WIMExportImage(HANDLE image, HANDLE targetWim, DWORD flags)
{
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        auto img = Lookup<WimImage>(image, HandleKind::Image);
        if (!img)
            return FALSE;
        auto target = Lookup<WimFile>(targetWim, HandleKind::File);
        if (!target)
            return FALSE;
        WimFile& source = *img->file;
        std::unique_lock<OperationMutex> sourceLock(source.mutex, std::defer_lock);
        std::unique_lock<OperationMutex> targetLock(target->mutex, std::defer_lock);
        if (&source == target.get())
            sourceLock.lock();
        else
            std::lock(sourceLock, targetLock);
        ChangeScope scope(*target);
        if (!target->checkWritable() || !checkNotSplit(*target))
            return FALSE;
        // Exports into one file gather until it is written (see wimgapi.h).
        const bool gathering = target->pending;
        if (!gathering && !target->beginChange())
            return FALSE;
        const char* name = wimlib_get_image_name(source.wim, img->index);
        const std::string sourceName = name ? name : "";
        // wimlib keeps image names unique; an image of the same name counts as
        // already present unless duplicates are allowed, in which case the copy
        // is exported without a name and the layer stores the name itself.
        const bool nameTaken = !sourceName.empty() && wimlib_image_name_in_use(target->wim, sourceName.c_str());
        if (!(flags & WIM_EXPORT_ALLOW_DUPLICATES) &&
            (nameTaken || imageAlreadyIn(source.wim, img->index, target->wim))) {
            errno = EEXIST;
            return FALSE;
        }
        std::string element;
        if (!ImageElementText(source, img->index, element))
            element.clear();
        {
            ProgressBridge bridge(target.get());
            errno = 0;
            int ret = wimlib_export_image(source.wim, img->index, target->wim, nullptr, nullptr,
                                          nameTaken ? WIMLIB_EXPORT_FLAG_NO_NAMES : 0);
            // wimlib takes a second copy of an image it holds in memory for
            // the same image; written first, the copy is a new image to it.
            if (ret == WIMLIB_ERR_DUPLICATE_EXPORTED_IMAGE && gathering && (flags & WIM_EXPORT_ALLOW_DUPLICATES)) {
                if (!target->flush() || !target->beginChange())
                    return FALSE;
                errno = 0;
                ret = wimlib_export_image(source.wim, img->index, target->wim, nullptr, nullptr,
                                          nameTaken ? WIMLIB_EXPORT_FLAG_NO_NAMES : 0);
            }
            if (ret != 0) {
                target->failedChange = true;
                // wimlib takes a failed export back; earlier gathered exports stay.
                if (gathering)
                    return SetErrnoFromWimlib(ret) ? TRUE : FALSE;
                return target->discard(ret);
            }
        }
        const int index = target->imageCount();
        target->pending = true;
        target->pendingElements[index] =
            element.empty() ? CapturedImageElement(target->wim, index) : WithImageIndex(element, index);
        if (nameTaken)
            target->pendingXmlByLayer = true;
        return TRUE;
    });
}

BOOL WIMSplitFile(HANDLE wim, const char16_t* partPath, int64_t* partSize, DWORD flags)
{
    (void)flags;
    return Guarded<BOOL>(FALSE, [&]() -> BOOL {
        auto file = Lookup<WimFile>(wim, HandleKind::File);
        if (!file)
            return FALSE;
        if (!partSize) {
            errno = EINVAL;
            return FALSE;
        }
        std::lock_guard lock(file->mutex);
        if (!partPath) {
            // A size query: the smallest part size that holds the largest resource.
            uint64_t largest = 0;
            const int ret = wimlib_iterate_lookup_table(file->wim, 0, &largestResource, &largest);
            if (ret != 0)
                return SetErrnoFromWimlib(ret);
            *partSize = static_cast<int64_t>(largest);
            return TRUE;
        }
        if (*partSize <= 0 || !*partPath) {
            errno = EINVAL;
            return FALSE;
        }
        if (!checkNotSplit(*file) || !file->flush())
            return FALSE;
        const std::string first = ToUtf8(partPath);
        ProgressBridge bridge(file.get());
        bridge.setSplitting();
        // A part written over the file being split would destroy its source.
        bridge.protectFile(file->path);
        errno = 0;
        const int ret = wimlib_split(file->wim, first.c_str(), static_cast<uint64_t>(*partSize), 0);
        if (ret == 0)
            return TRUE;
        const int cause = ErrnoFromWimlib(ret);
        // An incomplete set must not pass for a split of this file (nor mix
        // with the parts of an earlier split of the same name).
        for (const std::string& part : bridge.partsBegun())
            ::unlink(part.c_str());
        errno = bridge.refused() ? EINVAL : cause;
        return FALSE;
    });
}

} // extern "C"
