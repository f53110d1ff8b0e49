// SPDX-License-Identifier: GPL-3.0-or-later
// Names of split sets: part n (n >= 2) of base.ext is base + n + .ext beside it.
#pragma once

#include "imaging/imagingapi.h"

#include <QString>

#include <cstdint>

// Turns the path of part `partNumber` into the path of part 1 of its set.
// True when that file exists and reports itself as part 1; the path is only
// rewritten then. Part 1 leaves the path as it is and succeeds. A file name
// without "." or not ending in the part number fails unchanged.
bool FirstSplitPartName(QString& path, uint32_t partNumber);

// The name of part `part` of the set whose first part is firstPath; empty
// when the file name has no ".".
QString SplitPartName(const QString& firstPath, uint32_t part);

// Attaches parts 2..totalParts that exist as files to the open first part.
// A missing part is passed over once another part has been attached; the walk
// stops at the first failure. Returns the last registration's result (FALSE
// when none succeeded).
BOOL ReferenceSplitParts(HANDLE wim, const QString& firstPath, uint32_t totalParts);
