// SPDX-License-Identifier: GPL-3.0-or-later
// The steps of mounting, unmounting, remounting and cleaning up mounts, one
// implementation for the mount page (which runs them on the worker) and the
// command line. Each may block for seconds (the mount service starting, a
// commit writing the image, a dead mount timing out): never call them on the
// GUI thread of a window.
#pragma once

#include "imaging/mountlist.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

// What a step ended with: `ok`, and the errno of the failing call.
struct MountStepResult {
    bool ok = false;
    int error = 0;
};

// Mounts image `index` of `imageFile` into `folder`; read-write when
// `tempFolder` is not empty (it is made first, with all missing parents:
// the staging data of the mount lives there).
MountStepResult MountImageInto(const QString& folder, const QString& imageFile, uint32_t index, bool readWrite,
                               const QString& tempFolder);

// Unmounts one mount, committing when asked (a read-only mount never
// commits). A call that fails while the mount is gone from the list
// afterwards counts as done: the service or another tool finished it. The
// list is looked at up to `looks` times, since it can lag behind. A commit
// reports the percent of the image written to `onPercent`, on the calling
// thread, as it goes.
MountStepResult UnmountImageAt(const MountEntry& entry, bool commit, int looks = 1,
                               const std::function<void(int percent)>& onPercent = {});

// Remounts the remountable mounts of `folder` (every one when it is empty),
// making their folders first. `matched` receives whether any mount, alive or
// not, has that folder.
MountStepResult RemountImagesAt(const QString& folder, bool* matched);

// What the page's list is made from after a refresh: invalid mounts removed
// first when `cleanInvalid`, then the machine's list.
std::vector<MountEntry> RefreshMountList(bool cleanInvalid);

// Whether `folder` is still among the mounted images.
bool IsStillMounted(const QString& folder);

// Deletes `folder` and everything in it, provided nothing is mounted there:
// no image, and the folder is no mount point of another file system. The
// walk never follows symbolic links (a link is removed, not what it points
// to) and never crosses into another file system. False when the folder is
// refused or anything stays behind.
bool RemoveMountFolder(const QString& folder);
