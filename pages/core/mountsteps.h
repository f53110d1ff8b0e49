// SPDX-License-Identifier: GPL-3.0-or-later
// Single mount and unmount steps through the imaging layer, and the safe
// removal of a mount folder once nothing is mounted there any more.
#pragma once

#include <QString>
#include <cstdint>

// Mounts image `index` of `imageFile` at `folder`. A read-write mount keeps
// its staging files in `tempFolder`, which is created when missing. False
// with errno set when the layer has no mount function or the mount failed.
bool MountImageAt(const QString& folder, const QString& imageFile, uint32_t index, bool readWrite,
                  const QString& tempFolder);

// Unmounts the image mounted at `folder`, saving its changes with `commit`.
// A call that fails while the folder is no longer a mount folder afterwards
// counts as done (the service or another tool finished it).
bool UnmountImageAt(const QString& folder, const QString& imageFile, uint32_t index, bool commit);

// Whether an image is mounted at `folder` now.
bool IsImageMountedAt(const QString& folder);

// Deletes `folder` and everything in it, provided nothing is mounted there:
// no image, and the folder is no mount point of another file system. The
// walk never follows symbolic links (a link is removed, not what it points
// to) and never crosses into another file system. False when the folder is
// refused or anything stays behind.
bool RemoveMountFolder(const QString& folder);

// "what: <system text for error>", or `what` alone when error is 0.
QString WithSystemError(const QString& what, int error);
