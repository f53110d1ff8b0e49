// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/exportlogic.h"

#include "common/language.h"
#include "common/textutil.h"
#include "imaging/configlists.h"
#include "imaging/progress.h"
#include "imaging/taskrun.h"
#include "pages/core/exportworker.h"
#include "pages/core/mountlogic.h"
#include "pages/core/optimizeworker.h"

#include <QFileInfo>

ExportInputState CheckExportInputs(const ExportInputs& in)
{
    ExportInputState s;
    const QFileInfo target(in.target);
    const bool targetIsFile = !in.target.isEmpty() && target.isFile();
    if (in.task == ExportTask::Export && targetIsFile) {
        s.compressionEnabled = false;
        s.targetCompression = GetImageFileCompression(in.target);
    } else {
        s.targetCompression = in.boxCompression;
    }
    const bool sourceIsFile = IsExistingFile(in.source);
    switch (in.task) {
    case ExportTask::Export:
        // A split set can be merged unless it is LZMS-compressed.
        s.start = sourceIsFile && !in.target.isEmpty()
            && (in.totalParts == 1 || (in.totalParts != 0 && in.compressionType < 3));
        break;
    case ExportTask::Split:
        s.start = sourceIsFile && in.partMegabytes != 0 && !in.target.isEmpty() && in.totalParts == 1
            && in.compressionType < 3;
        if (in.totalParts > 1)
            s.message = 113;
        break;
    case ExportTask::Optimize:
        s.start = sourceIsFile && in.totalParts == 1;
        if (in.totalParts > 1)
            s.message = 356;
        break;
    }
    return s;
}

ExportStart StartExportTask(OperationTask& task, const ExportRequest& request,
                            const std::function<bool()>& askOverwrite, const std::function<void()>& prepareInfoBox)
{
    const QString target = CutToUnits(request.target, kPathUnits);
    if (!IsExistingFile(request.source) || !PrepareTaskStart())
        return ExportStart::NotStarted;
    if (request.task != ExportTask::Optimize && target.isEmpty())
        return ExportStart::NotStarted;
    if (request.task != ExportTask::Export && QFileInfo(target).isFile() && !(askOverwrite && askOverwrite()))
        return ExportStart::Declined;
    if (prepareInfoBox)
        prepareInfoBox();

    if (request.task == ExportTask::Split && SplitPartBytes(request.partMegabytes, request.fileInfo.TotalBytes) == 0) {
        LogText(task, GetLanguageString(121));
        LogLineBreak(task);
        return ExportStart::BadPartSize;
    }

    task.ImagePath = CutToUnits(request.source, kPathUnits);
    task.TargetPath = target;
    task.TempPath = CutToUnits(request.tempFolder, kPathUnits);
    task.ImageIndex = request.imageIndex;
    task.setFileInfo(request.fileInfo);
    task.Images = request.images;
    task.CompressionType = request.targetCompression;
    task.PartMegabytes = request.partMegabytes;
    task.SizeTotal = request.fileInfo.TotalBytes;
    // One image only: the chosen one, or the only one the source has.
    task.Boot = request.boot && (request.imageIndex != 0 || request.fileInfo.ImageCount == 1);
    task.AllowDuplicates = request.allowDuplicates;
    task.ShowProgress = true;
    task.Succeeded = false;
    task.WimlibError = 0;
    // The three tasks' callbacks do not consult the lists; they are filled
    // as for every operation.
    FillConfigurationLists(request.noConfiguration, task);

    OperationTask* t = &task;
    std::function<void()> routine;
    switch (request.task) {
    case ExportTask::Export: routine = [t] { ExportWorker(*t); }; break;
    case ExportTask::Split: routine = [t] { SplitWorker(*t); }; break;
    case ExportTask::Optimize: routine = [t] { OptimizeWorker(*t); }; break;
    }
    const bool started = StartTaskWorker(task, routine, [t] {
        if (t->Events.finished)
            t->Events.finished(t->Succeeded);
    });
    return started ? ExportStart::Started : ExportStart::NotStarted;
}

ExportStopQuestion StopQuestionFor(ExportTask task, uint32_t targetCompression)
{
    ExportStopQuestion q;
    switch (task) {
    case ExportTask::Export:
        if (targetCompression == 3) {
            // LZMS export and split never pass a callback's abort answer on:
            // only the forced stop is offered.
            q.lines = {123, 124, 125, 288, 289};
            q.forceStop = true;
        } else {
            q.lines = {123, 124, 125, 287, 288, 289};
            q.safeStop = q.forceStop = q.safeAsYes = true;
        }
        break;
    case ExportTask::Split:
        q.lines = {290, 124, 125, 288, 289};
        q.forceStop = true;
        break;
    case ExportTask::Optimize:
        q.lines = {360, 124, 125, 287, 289};
        q.safeStop = true;
        break;
    }
    return q;
}
