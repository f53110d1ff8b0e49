// SPDX-License-Identifier: GPL-3.0-or-later
// Opening the file an operation reads: a plain image file, or the first part
// of a split set with every other part attached.
#pragma once

#include "imaging/wimhandle.h"
#include "pages/core/operationtask.h"

// Opens `path` for reading (for a part of a set, the set's first part, whose
// name then replaces `path`) and logs the result of the step the caller
// wrote: "完成", or "失败" with the cause, naming the part of the set that is
// missing. An empty handle on failure.
WimHandle OpenSourceFile(OperationTask& task, QString& path);
