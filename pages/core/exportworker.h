// SPDX-License-Identifier: GPL-3.0-or-later
// Exporting images into another image file, and splitting a file into
// parts, for the page and the command line alike.
#pragma once

#include "pages/core/operationtask.h"

// The export routine. Reads ImagePath (the source, any part of a set),
// FileInfo (its information), ImageIndex (0: every image), TargetPath,
// CompressionType (of a new target), TempPath, Boot, ShowProgress and, for
// every image, Images (per-image file counts that weigh the progress); logs
// each step and leaves the result in Succeeded.
void ExportWorker(OperationTask& task);

// The split routine: ImagePath into parts named after TargetPath, each at
// most PartMegabytes. Logs each step and leaves the result in Succeeded.
void SplitWorker(OperationTask& task);
