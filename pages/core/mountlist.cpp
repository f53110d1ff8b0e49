// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/mountlist.h"

#include "common/textutil.h"

#include <QDir>

namespace {

// The list can grow between the size query and the read (another tool
// mounts meanwhile), so a failed read is retried with the new size.
constexpr int kListAttempts = 4;

std::vector<WIM_MOUNT_LIST> ReadMountList()
{
    for (int attempt = 0; attempt < kListAttempts; ++attempt) {
        DWORD bytes = 0;
        ImagingApi.WIMGetMountedImages(nullptr, &bytes);
        const size_t count = bytes / sizeof(WIM_MOUNT_LIST);
        if (count == 0)
            return {};
        std::vector<WIM_MOUNT_LIST> records(count);
        DWORD size = static_cast<DWORD>(count * sizeof(WIM_MOUNT_LIST));
        if (ImagingApi.WIMGetMountedImages(records.data(), &size)) {
            records.resize(std::min<size_t>(count, size / sizeof(WIM_MOUNT_LIST)));
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
    const std::vector<WIM_MOUNT_LIST> records = ReadMountList();
    result.reserve(records.size());
    for (const WIM_MOUNT_LIST& r : records) {
        result.push_back({FromUnits(r.WimPath, WIM_MAX_PATH), FromUnits(r.MountPath, WIM_MAX_PATH), r.ImageIndex,
                          r.MountedForRW != FALSE});
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
