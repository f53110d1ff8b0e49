// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Whether the image file carries a mount command in its own metadata.
bool HasImageMountCommand(const QString& imageFile);

// The double-click mount of an image file. Returns 0 when it could not be
// prepared (the main window opens instead), 1 when the mount failed, and
// non-zero otherwise.
int RunDoubleClickMount(const QString& imageFile);
