// SPDX-License-Identifier: GPL-3.0-or-later
// Exporting images into another image file, and splitting a file into
// parts, for the page and the command line alike.
#pragma once

#include "pages/core/operationtask.h"

// The export routine. Reads ImagePath (the source, any part of a set),
// FileInfo (its information), ImageIndex (0: every image), TargetPath,
// CompressionType (of a new target), TempPath, Boot, AllowDuplicates,
// ShowProgress and, for every image, Images (per-image file counts that weigh
// the progress); logs each step and leaves the result in Succeeded.
//
// A target that is the source (or a part of its set) is refused before
// anything is opened. Without AllowDuplicates an image whose tree the target
// holds already is not exported again, named or not: the step fails with
// EEXIST and the log ends with "目标文件中已存在相同的映像卷。". Every exported
// image loses the program's private element. A failed or stopped export
// leaves the images the target held before (the imaging layer writes each
// export completely or not at all).
void ExportWorker(OperationTask& task);

// The split routine: ImagePath into parts named after TargetPath, each at
// most PartMegabytes. With a PartListBox every part's name is listed as it
// is written. When the first part's name is taken by a file, the new set is
// written beside it and takes the old names only once it is complete; a
// target that is the source, or whose parts would overwrite it, is refused.
// Logs each step and leaves the result in Succeeded.
void SplitWorker(OperationTask& task);

// The part size in bytes for a part size field of `megabytes`: 0 (the size
// is refused, "分包大小设置错误！") when it is 0 or larger than the source's
// total bytes. 64-bit throughout: 5000 MB is 5,242,880,000 bytes.
uint64_t SplitPartBytes(uint64_t megabytes, uint64_t sourceTotalBytes);
