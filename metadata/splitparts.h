// SPDX-License-Identifier: GPL-3.0-or-later
// Names of split sets: part n (n >= 2) of base.ext is base + n + .ext beside it.
#pragma once

#include "imaging/imagingapi.h"

#include <QString>

#include <cstdint>

// Turns the path of part `partNumber` into the path of part 1 of its set.
// True when that file exists and reports itself as part 1; the path is only
// rewritten then. Part 1 leaves the path as it is and succeeds. A file name
// without "." or not ending in the part number fails unchanged. `expected`
// (when given) receives the name part 1 would have, whenever the name
// leads to one, also when that file is missing.
bool FirstSplitPartName(QString& path, uint32_t partNumber, QString* expected = nullptr);

// The name of part `part` of the set whose first part is firstPath; empty
// when the file name has no ".".
QString SplitPartName(const QString& firstPath, uint32_t part);

// The name of the first of parts 2..totalParts of the set whose first part
// is firstPath that is not there; empty when all are.
QString MissingSplitPartName(const QString& firstPath, uint32_t totalParts);

// Attaches parts 2..totalParts to the open first part. Every part must be
// there: an incomplete set would fail only partway through the work, on the
// first file stored in the missing part. FALSE with ENOENT and the missing
// part's name in `missingPart` (when given) for a missing part, FALSE with the
// layer's errno when a part cannot be attached, and FALSE for fewer than two
// parts.
BOOL ReferenceSplitParts(HANDLE wim, const QString& firstPath, uint32_t totalParts, QString* missingPart = nullptr);
