// SPDX-License-Identifier: GPL-3.0-or-later
// The images mounted on this machine, as the imaging layer reports them, and
// the remount and clean-up operations. No user interface: the mount page and
// the command line both use these.
#pragma once

#include "imaging/imagingapi.h"

#include <QString>
#include <optional>
#include <vector>

// One mounted image, read out of a WIM_MOUNT_LIST entry.
struct MountEntry {
    QString imagePath;
    QString mountPath;
    uint32_t imageIndex = 0;
    bool readWrite = false;
};

// Mount folders are compared as exact texts after removing redundant
// separators ("/a/b/" and "/a/b" name one folder); Linux names are
// case-sensitive.
bool SameMountPath(const QString& a, const QString& b);

// A snapshot of the mounted-image list. Empty when the layer has no
// WIMGetMountedImages or the call fails.
std::vector<MountEntry> GetMountedImages();

// The first entry whose mount folder is `folder`, or nothing.
std::optional<MountEntry> FindMountByFolder(const std::vector<MountEntry>& mounts, const QString& folder);

// The first entry whose image file is `path`, or nothing.
std::optional<MountEntry> FindMountByImageFile(const std::vector<MountEntry>& mounts, const QString& path);

// Remounts every remountable mount whose folder is `folder` (all of them when
// `folder` is empty), creating the mount folder first. Returns how many were
// remounted; -1 when the layer offers no remount.
int RemountImages(const QString& folder);

// Removes mounts that are no longer valid, or all mounts (discarding their
// changes) when `all` is set. False when the call fails or is missing.
bool CleanupMounts(bool all);
