// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of the mount and apply page that need no window: which of its
// three buttons may be pressed, and how the image number wraps around.
#pragma once

#include "imaging/mountlist.h"

#include <QString>
#include <cstdint>
#include <vector>

// True for an existing folder; false for files, missing paths and "".
bool IsExistingFolder(const QString& path);

// True for an existing file that is not a folder.
bool IsExistingFile(const QString& path);

// True at the first entry of `folder` (hidden ones and empty sub-folders
// count); false for an empty folder or one that cannot be read.
bool DirectoryHasEntries(const QString& folder);

// True when the bound imaging layer can mount at all.
bool HasMountFunctions();

// What the enabling rules look at.
struct MountPageInputs {
    QString imageFile;
    QString folder;
    uint16_t totalParts = 0;      // of the file in the file box; 0 when unreadable
    uint32_t compressionType = 0; // of the same file
    bool canMount = false;        // HasMountFunctions()
};

struct MountPageButtons {
    bool mount = false;
    bool unmount = false;
    bool apply = false;
};

// Split parts and LZMS files are never mounted, nor is anything mounted into
// a folder that holds entries or is a mount folder already.
MountPageButtons DecideMountPageButtons(const MountPageInputs& in, const std::vector<MountEntry>& mounts);

// The image number that the number box's text stands for: empty, 0 or
// non-numeric text means the last image and a number above the count the
// first, so that the arrows wrap around. Returns 1 when `imageCount` is 0.
uint32_t WrapImageNumber(const QString& text, uint32_t imageCount);
