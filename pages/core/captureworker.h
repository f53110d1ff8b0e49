// SPDX-License-Identifier: GPL-3.0-or-later
// Capturing a folder into a new image file, or appending it to an existing
// one, for the page and the command line alike.
#pragma once

#include "pages/core/operationtask.h"

// The thread routine. Reads TargetPath (the source folder), ImagePath,
// ImageIndex (the new image's number, for the boot mark), CompressionType,
// TempPath, the lists, Append, ImageName, Boot and ShowProgress; logs each
// step and leaves the result in Succeeded. A file that a capture (not an
// append) replaces keeps its old images until the new one is complete.
void CaptureWorker(OperationTask& task);
