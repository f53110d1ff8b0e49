// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/mountlist.h"

#include "common/textutil.h"

#include <QDir>

namespace {

// The list can grow between the size query and the read (another tool
// mounts meanwhile), so a failed read is retried with the new size.
constexpr int kListAttempts = 4;

template <typename Record, typename Query>
std::vector<Record> readMountRecords(Query query)
{
    for (int attempt = 0; attempt < kListAttempts; ++attempt) {
        DWORD bytes = 0;
        query(nullptr, &bytes);
        const size_t count = bytes / sizeof(Record);
        if (count == 0)
            return {};
        std::vector<Record> records(count);
        DWORD size = static_cast<DWORD>(count * sizeof(Record));
        if (query(records.data(), &size)) {
            records.resize(std::min<size_t>(count, size / sizeof(Record)));
            return records;
        }
    }
    return {};
}

} // namespace

bool SameMountPath(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    return QDir::cleanPath(a) == QDir::cleanPath(b);
}

std::vector<MountEntry> GetMountedImages()
{
    std::vector<MountEntry> result;
    if (!ImagingApi.WIMGetMountedImages)
        return result;
    const auto records = readMountRecords<WIM_MOUNT_LIST>(
        [](void* buffer, DWORD* bytes) { return ImagingApi.WIMGetMountedImages(buffer, bytes) != FALSE; });
    result.reserve(records.size());
    for (const WIM_MOUNT_LIST& r : records) {
        result.push_back({FromUnits(r.WimPath, WIM_MAX_PATH), FromUnits(r.MountPath, WIM_MAX_PATH), r.ImageIndex,
                          r.MountedForRW != FALSE});
    }
    return result;
}

std::vector<MountEntry> GetMountedImageInfo()
{
    std::vector<MountEntry> result;
    if (!ImagingApi.WIMGetMountedImageInfo)
        return result;
    const auto records = readMountRecords<WIM_MOUNT_INFO_LEVEL1>([](void* buffer, DWORD* bytes) {
        DWORD count = 0;
        DWORD returned = 0;
        const BOOL ok = ImagingApi.WIMGetMountedImageInfo(MountedImageInfoLevel1, &count, buffer, *bytes, &returned);
        *bytes = returned;
        return ok != FALSE;
    });
    result.reserve(records.size());
    for (const WIM_MOUNT_INFO_LEVEL1& r : records) {
        result.push_back({FromUnits(r.WimPath, WIM_MAX_PATH), FromUnits(r.MountPath, WIM_MAX_PATH), r.ImageIndex,
                          (r.MountFlags & WIM_MOUNT_FLAG_READWRITE) != 0, r.MountFlags});
    }
    return result;
}

std::optional<MountEntry> FindMountByFolder(const std::vector<MountEntry>& mounts, const QString& folder)
{
    for (const MountEntry& m : mounts) {
        if (SameMountPath(m.mountPath, folder))
            return m;
    }
    return std::nullopt;
}

bool CleanupMounts(bool all)
{
    if (!ImagingApi.WIMDeleteImageMounts)
        return false;
    return ImagingApi.WIMDeleteImageMounts(all ? WIM_DELETE_MOUNTS_ALL : 0) != FALSE;
}
