// SPDX-License-Identifier: GPL-3.0-or-later
// Whether this user can mount images: mounting goes through FUSE, so it needs
// a /dev/fuse the process may open and the fusermount helper.
#pragma once

#include <QString>

// `fuseDevice` and `searchPath` are for tests; empty means /dev/fuse and PATH.
bool MountingAvailable(const QString& fuseDevice = QString(), const QString& searchPath = QString());
