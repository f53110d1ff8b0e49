// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's thumbnail cache ($XDG_CACHE_HOME/thumbnails): file managers
// show an image file's own icon through a thumbnail they keep there, so a
// new or deleted icon shows only once that thumbnail is gone.
#pragma once

#include <QString>

// The folders of the cache that hold thumbnails: normal, large, x-large,
// xx-large and every folder under fail/.
QStringList ThumbnailCacheFolders();

// Removes the thumbnails whose source ("Thumb::URI") is an image file
// (".wim", ".esd", ".swm", case ignored) from those folders; nothing else is
// touched. Returns how many were removed, or -1 when one could not be.
int RebuildIconCache();
