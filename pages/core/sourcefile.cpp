// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/sourcefile.h"

#include "imaging/progress.h"
#include "metadata/splitparts.h"

#include "common/language.h"

#include <cerrno>

namespace {

constexpr int kMissingPart = 373; // "缺少分卷："

} // namespace

WimHandle OpenSourceFile(OperationTask& task, QString& path)
{
    const uint16_t totalParts = task.FileInfo ? task.FileInfo->TotalParts : 1;
    if (totalParts < 2) {
        WimHandle file = OpenImageFileRead(path);
        LogResult(task, bool(file), true);
        return file;
    }
    // A derived name that is not part 1 of its set is not read in its place.
    QString first = path;
    if (!FirstSplitPartName(first, task.PartNumber)) {
        LogResult(task, false, true, ENOENT);
        return {};
    }
    WimHandle file = OpenImageFileRead(first);
    if (!file) {
        LogResult(task, false, true);
        return {};
    }
    QString missing;
    if (!ReferenceSplitParts(file.get(), first, totalParts, &missing)) {
        if (missing.isEmpty())
            LogResult(task, false, true);
        else
            LogFailure(task, GetLanguageString(kMissingPart) + missing);
        return {};
    }
    LogResult(task, true);
    path = first;
    return file;
}
