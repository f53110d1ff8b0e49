// SPDX-License-Identifier: GPL-3.0-or-later
// What the mount tests need to know about the machine's FUSE set-up.
#pragma once

#include <QString>

// Why real FUSE mounts cannot be made here, or an empty text when they can:
// /dev/fuse opens, fusermount is installed and the mount service is built.
QString FuseProblem();

// Whether `folder` is a mount point right now (/proc/self/mountinfo).
bool IsMountPoint(const QString& folder);
