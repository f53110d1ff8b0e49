// SPDX-License-Identifier: GPL-3.0-or-later
// The images mounted on this machine, as the imaging layer reports them, and
// their clean-up. No user interface.
#pragma once

#include "imaging/imagingapi.h"

#include <QString>
#include <optional>
#include <vector>

// One mounted image, read out of a WIM_MOUNT_LIST or WIM_MOUNT_INFO_LEVEL1 entry.
struct MountEntry {
    QString imagePath;
    QString mountPath;
    uint32_t imageIndex = 0;
    bool readWrite = false;
    uint32_t flags = 0; // WIM_MOUNT_FLAG_*, filled by GetMountedImageInfo only
};

// Mount folders are compared as exact texts after removing redundant
// separators ("/a/b/" and "/a/b" name one folder); Linux names are
// case-sensitive.
bool SameMountPath(const QString& a, const QString& b);

// A snapshot of the mounted-image list. Empty when the layer has no
// WIMGetMountedImages or the call fails.
std::vector<MountEntry> GetMountedImages();

// The same list with each mount's state flags (remountable, invalid, ...).
// Empty when the layer has no WIMGetMountedImageInfo or the call fails.
std::vector<MountEntry> GetMountedImageInfo();

// The first entry whose mount folder is `folder`, or nothing.
std::optional<MountEntry> FindMountByFolder(const std::vector<MountEntry>& mounts, const QString& folder);

// Removes mounts that are no longer valid, or all mounts (discarding their
// changes) when `all` is set. False when the call fails or is missing.
bool CleanupMounts(bool all);
