// SPDX-License-Identifier: GPL-3.0-or-later
// What the export, split and conversion steps check about their target
// before they write: that it is not the source itself.
#pragma once

#include <QString>

#include <cstdint>

// Whether `target` names the same file as `source` or as another part of
// the split set `source` belongs to (parts 1 .. totalParts, named after
// `firstPart`), by path or by device and inode (a link, a second name).
// A target that does not exist is never the source.
bool TargetIsSource(const QString& firstPart, uint32_t totalParts, const QString& target);

// Whether any of the first `partCount` parts a split into `target` would
// write (target, target2, ...) is the source file.
bool SplitTargetHitsSource(const QString& source, const QString& target, uint32_t partCount);
