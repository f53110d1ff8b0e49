// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/exportworker.h"

#include "common/textutil.h"
#include "imaging/callbacks.h"
#include "imaging/progress.h"
#include "imaging/taskrun.h"
#include "imaging/wimhandle.h"
#include "pages/core/sourcefile.h"

#include <cerrno>
#include <cstdint>

namespace {

// Step texts of the log (language string numbers).
enum : int {
    kStepRegisterCallback = 12,
    kStepTempFolder = 13,
    kStepLoadImage = 14,
    kStepBoot = 83,
    kStepSplitTask = 101,
    kStepOpenSource = 102,
    kStepSplit = 104,
    kStepExportTask = 105,
    kStepOpenTarget = 106,
    kStepExportImage = 107,
    kStepExportOverall = 108,
    kStepCloseTarget = 109,
    kStepCloseSource = 110,
};

// Opens the first part of the source and attaches the other parts of a set.
WimHandle openSource(OperationTask& task)
{
    QString path = task.ImagePath;
    LogStep(task, kStepOpenSource);
    return OpenSourceFile(task, path);
}

bool exportOne(OperationTask& task, HANDLE source, HANDLE target, uint32_t index)
{
    LogStep(task, kStepLoadImage);
    WimHandle image(ImagingApi.WIMLoadImage(source, index));
    LogResult(task, bool(image), true);
    if (!image)
        return false;
    LogStep(task, kStepExportImage);
    const bool exported = ImagingApi.WIMExportImage(image.get(), target, 0) != FALSE;
    LogResult(task, exported, true);
    ErrnoKeeper keep;
    return image.close() && exported;
}

bool exportImages(OperationTask& task, HANDLE source, HANDLE target)
{
    if (task.ImageIndex != 0) {
        if (!exportOne(task, source, target, task.ImageIndex))
            return false;
        if (!task.Boot)
            return true;
        LogStep(task, kStepBoot);
        const DWORD count = ImagingApi.WIMGetImageCount(target);
        const bool marked = ImagingApi.WIMSetBootImage && count && ImagingApi.WIMSetBootImage(target, count);
        LogResult(task, marked, true);
        return marked;
    }
    const uint32_t count = task.FileInfo ? task.FileInfo->ImageCount : 0;
    uint64_t filesTotal = 0;
    for (const WIMIMAGEINFO& image : task.Images)
        filesTotal += image.FileCount;
    if (task.ShowProgress)
        task.Total = filesTotal;
    double shareDone = 0;
    uint64_t filesDone = 0;
    for (uint32_t index = 1; index <= count; ++index) {
        // Each image's share of the whole export follows its file count;
        // without counts every image weighs the same.
        const uint64_t files = index <= task.Images.size() ? task.Images[index - 1].FileCount : 0;
        const double share = filesTotal ? double(files) * 100.0 / double(filesTotal) : 100.0 / double(count);
        if (task.ShowProgress) {
            task.ShareDone = shareDone;
            task.ImageShare = share;
            task.SizeDone = filesDone;
        }
        if (!exportOne(task, source, target, index))
            return false;
        shareDone += share;
        filesDone += files;
    }
    return true;
}

} // namespace

void ExportWorker(OperationTask& task)
{
    bool exported = false;
    LogStep(task, kStepExportTask);
    LogLineBreak(task);
    WimHandle source = openSource(task);
    if (source) {
        LogStep(task, kStepOpenTarget);
        WimHandle target = OpenImageFileAppend(task.TargetPath, task.CompressionType);
        LogResult(task, bool(target), true);
        if (target) {
            LogStep(task, kStepTempFolder);
            const bool temp = SetTemporaryFolder(source.get(), task.TempPath)
                && SetTemporaryFolder(target.get(), task.TempPath);
            LogResult(task, temp, true);
            bool registered = true;
            if (temp && task.ShowProgress) {
                LogStep(task, kStepRegisterCallback);
                task.MessageCallback = task.ImageIndex ? ExportProgressCallback : ExportAllProgressCallback;
                registered = ImagingApi.WIMRegisterMessageCallback(target.get(), task.MessageCallback, &task)
                    != INVALID_CALLBACK_VALUE;
                LogResult(task, registered, true);
                if (registered)
                    BeginTaskRun(task);
            }
            if (temp && registered)
                exported = exportImages(task, source.get(), target.get());
            ErrnoKeeper keep;
            if (temp && registered && task.ShowProgress) {
                ImagingApi.WIMUnregisterMessageCallback(target.get(), task.MessageCallback);
                EndTaskRun(task);
            }
            LogStep(task, kStepCloseTarget);
            exported = target.close() && exported;
            LogResult(task, exported, true);
        }
        ErrnoKeeper keep;
        LogStep(task, kStepCloseSource);
        LogResult(task, source.close(), true);
    }
    LogLineBreak(task);
    LogStep(task, kStepExportOverall);
    LogResult(task, exported, task.Cancel.load() == 0);
    task.Succeeded = exported;
}

void SplitWorker(OperationTask& task)
{
    task.Succeeded = false;
    LogStep(task, kStepSplitTask);
    LogLineBreak(task);
    LogStep(task, kStepOpenSource);
    WimHandle wim = OpenImageFileRead(task.ImagePath);
    LogResult(task, bool(wim), true);
    if (!wim)
        return;
    LogStep(task, kStepTempFolder);
    if (!SetTemporaryFolder(wim.get(), task.TempPath)) {
        LogResult(task, false, true);
        return;
    }
    LogResult(task, true);
    LogStep(task, kStepSplit);
    // The part size in bytes needs 64 bits: 4096 MB and more overflow 32.
    constexpr uint64_t kMegabyte = 1048576;
    const uint64_t megabytes = task.PartMegabytes > uint64_t(INT64_MAX) / kMegabyte ? uint64_t(INT64_MAX) / kMegabyte
                                                                                     : task.PartMegabytes;
    int64_t partSize = int64_t(megabytes * kMegabyte);
    const bool split = ImagingApi.WIMSplitFile(wim.get(), Utf16(task.TargetPath), &partSize, 0) != FALSE;
    LogResult(task, split, true);
    ErrnoKeeper keep;
    task.Succeeded = wim.close() && split;
}
