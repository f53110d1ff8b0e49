// SPDX-License-Identifier: GPL-3.0-or-later
// Converting an image file into a new file of another compression, or
// optimising it in place, through wimlib.
#pragma once

#include "pages/core/operationtask.h"

// The thread routine. Reads ImagePath (the source), TargetPath (empty:
// optimise the source in place), CompressionType (0 none, 1 XPRESS, 2 LZX,
// 3 LZMS: a solid file at compression level 100), ShowProgress and the
// display windows; logs each step and leaves wimlib's result in WimlibError
// and the outcome in Succeeded. A failure logs the error number and wimlib's
// text for it.
//
// A target that is the source is refused. A conversion into an existing file
// writes beside it and replaces it only once complete; a failed or stopped
// conversion leaves no partial target behind (and an old target as it was).
// In place, wimlib rebuilds into a temporary file and renames it over the
// source, so the source is whole whatever happens.
void OptimizeWorker(OperationTask& task);

// The thread count wimlib compresses with.
inline constexpr unsigned kOptimizeThreads = 4;
