// SPDX-License-Identifier: GPL-3.0-or-later
// "/Export" and "/Split".
#include "app/cli.h"
#include "app/cli_actions.h"

#include "imaging/callbacks.h"
#include "imaging/progress.h"
#include "imaging/taskrun.h"
#include "metadata/splitparts.h"
#include "metadata/wimhandle.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>

namespace {

// Opens the first part of the source and attaches the other parts of a set.
WimHandle openSource(UnattendedTask& task)
{
    TASKCONTEXT& ctx = task.ctx;
    QString path = ctx.ImagePath;
    LogStep(ctx, 102);
    if (task.info.TotalParts > 1 && !FirstSplitPartName(path, task.info.PartNumber)) {
        LogResult(ctx, false, true, ENOENT);
        return {};
    }
    WimHandle source(OpenImageFileRead(path));
    if (source && task.info.TotalParts > 1 && !ReferenceSplitParts(source.get(), path, task.info.TotalParts))
        source.reset(nullptr);
    LogResult(ctx, bool(source), true);
    return source;
}

bool exportOne(TASKCONTEXT& ctx, HANDLE source, HANDLE target, uint32_t index)
{
    LogStep(ctx, 14);
    WimHandle image(ImagingApi.WIMLoadImage(source, index));
    LogResult(ctx, bool(image), true);
    if (!image)
        return false;
    LogStep(ctx, 107);
    const bool exported = ImagingApi.WIMExportImage(image.get(), target, 0) != FALSE;
    LogResult(ctx, exported, true);
    return image.close() && exported;
}

bool exportImages(UnattendedTask& task, HANDLE source, HANDLE target)
{
    TASKCONTEXT& ctx = task.ctx;
    if (ctx.ImageIndex != 0) {
        if (!exportOne(ctx, source, target, ctx.ImageIndex))
            return false;
        if (!task.boot)
            return true;
        LogStep(ctx, 83);
        const DWORD count = ImagingApi.WIMGetImageCount(target);
        const bool marked = ImagingApi.WIMSetBootImage && count && ImagingApi.WIMSetBootImage(target, count);
        LogResult(ctx, marked, true);
        return marked;
    }
    const uint32_t count = task.info.ImageCount;
    uint64_t filesTotal = 0;
    for (const WIMIMAGEINFO& image : task.images)
        filesTotal += image.FileCount;
    if (task.withWindow)
        ctx.Total = filesTotal;
    double shareDone = 0;
    uint64_t filesDone = 0;
    for (uint32_t index = 1; index <= count; ++index) {
        // Each image's share of the whole export follows its file count;
        // without counts every image weighs the same.
        const uint64_t files = index <= task.images.size() ? task.images[index - 1].FileCount : 0;
        const double share = filesTotal ? double(files) * 100.0 / double(filesTotal) : 100.0 / double(count);
        if (task.withWindow) {
            ctx.ShareDone = shareDone;
            ctx.ImageShare = share;
            ctx.SizeDone = filesDone;
        }
        if (!exportOne(ctx, source, target, index))
            return false;
        shareDone += share;
        filesDone += files;
    }
    return true;
}

} // namespace

void ExportWorker(UnattendedTask& task)
{
    TASKCONTEXT& ctx = task.ctx;
    bool exported = false;
    LogStep(ctx, 105);
    LogLineBreak(ctx);
    WimHandle source = openSource(task);
    if (source) {
        LogStep(ctx, 106);
        WimHandle target(OpenImageFileAppend(ctx.TargetPath, ctx.CompressionType));
        LogResult(ctx, bool(target), true);
        if (target) {
            LogStep(ctx, 13);
            const bool temp = SetTemporaryFolder(source.get(), ctx.TempPath) && SetTemporaryFolder(target.get(), ctx.TempPath);
            LogResult(ctx, temp, true);
            bool registered = true;
            if (temp && task.withWindow) {
                LogStep(ctx, 12);
                ctx.MessageCallback = ctx.ImageIndex ? ExportProgressCallback : ExportAllProgressCallback;
                registered = ImagingApi.WIMRegisterMessageCallback(target.get(), ctx.MessageCallback, &ctx)
                    != INVALID_CALLBACK_VALUE;
                LogResult(ctx, registered, true);
                if (registered)
                    BeginTaskRun(ctx);
            }
            if (temp && registered)
                exported = exportImages(task, source.get(), target.get());
            if (temp && registered && task.withWindow) {
                ImagingApi.WIMUnregisterMessageCallback(target.get(), ctx.MessageCallback);
                EndTaskRun(ctx);
            }
            LogStep(ctx, 109);
            exported = target.close() && exported;
            LogResult(ctx, exported, true);
        }
        LogStep(ctx, 110);
        LogResult(ctx, source.close(), true);
    }
    LogLineBreak(ctx);
    LogStep(ctx, 108);
    LogResult(ctx, exported, ctx.Cancel.load() == 0);
    task.result = WorkerOutcome(ctx, exported, QStringLiteral("the export failed"));
}

CliResult RunExport(const QStringList& args)
{
    const ImagingApiTable& a = ImagingApi;
    if (!a.WIMCreateFile || !a.WIMLoadImage || !a.WIMExportImage || !a.WIMSetTemporaryPath || !a.WIMGetImageCount)
        return CliResult::failed(QStringLiteral("the imaging library is not available"));
    UnattendedTask& task = CommandLineTask();
    task.args = args;
    QString source = args.at(2);
    QString unknownName;
    const uint32_t number = ParseImageReference(source, &unknownName);
    const QString target = args.at(3);
    if (!QFileInfo(source).isFile())
        return CliResult::failed(QStringLiteral("the image file does not exist: ") + source);
    if (GetImageFileInfo(source, task.info) == 0)
        return CliResult::failed(QStringLiteral("the image file cannot be read: ") + source);
    // A name that matches no image would otherwise export every image.
    if (!unknownName.isEmpty())
        return CliResult::failed(QStringLiteral("the image file has no image named ") + unknownName);
    if (number > task.info.ImageCount)
        return CliResult::failed(QStringLiteral("the image file has no image ") + QString::number(number));
    const uint32_t compression =
        QFileInfo(target).isFile() ? GetImageFileCompression(target) : GetCompressOption(args);
    const bool withWindow = compression == WIM_COMPRESS_LZMS && RegisteredTaskDialogs();
    if (withWindow) {
        task.images.assign(task.info.ImageCount, WIMIMAGEINFO{});
        WIMFILEINFO withTotals = task.info;
        if (!ReadImageInfo(source, withTotals, task.images))
            task.images.clear();
    }
    return RunUnattendedWork(task, UnattendedStopMode::Export, 294, withWindow, withWindow,
                             [&task, source, number, target](bool window) {
                                 PrepareUnattendedTask(task, source, number, target, window);
                                 ExportWorker(task);
                             });
}

CliResult RunSplit(const QStringList& args)
{
    const ImagingApiTable& a = ImagingApi;
    if (!a.WIMCreateFile || !a.WIMSplitFile || !a.WIMSetTemporaryPath)
        return CliResult::failed(QStringLiteral("the imaging library is not available"));
    QString target = args.at(3);
    QString sizeText;
    if (!SplitAtLastComma(target, sizeText))
        return CliResult::wrongArguments(QStringLiteral("the part size is missing (target,size in MB)"));
    bool ok = false;
    const uint64_t megabytes = sizeText.trimmed().toULongLong(&ok, 10);
    if (!ok || megabytes == 0)
        return CliResult::wrongArguments(QStringLiteral("the part size is not a number of megabytes above 0: ") + sizeText);
    const QString file = args.at(2);
    if (!QFileInfo(file).isFile())
        return CliResult::failed(QStringLiteral("the image file does not exist: ") + file);
    UnattendedTask& task = CommandLineTask();
    task.args = args;
    PrepareUnattendedTask(task, file, uint32_t(qMin<uint64_t>(megabytes, UINT32_MAX)), target, false);
    TASKCONTEXT& ctx = task.ctx;
    LogStep(ctx, 101);
    LogLineBreak(ctx);
    LogStep(ctx, 102);
    WimHandle wim(OpenImageFileRead(file));
    LogResult(ctx, bool(wim), true);
    if (!wim)
        return CliResult::failed(ctx.FailureText);
    LogStep(ctx, 13);
    if (!SetTemporaryFolder(wim.get(), ctx.TempPath)) {
        LogResult(ctx, false, true);
        return CliResult::failed(ctx.FailureText);
    }
    LogResult(ctx, true);
    LogStep(ctx, 104);
    // The part size in bytes needs 64 bits: 4096 MB and more overflow 32.
    int64_t partSize = int64_t(megabytes > uint64_t(INT64_MAX) / 1048576 ? INT64_MAX / 1048576 : megabytes) * 1048576;
    const bool split = ImagingApi.WIMSplitFile(wim.get(), Units(target).c_str(), &partSize, 0) != FALSE;
    LogResult(ctx, split, true);
    const bool closed = wim.close();
    if (!split || !closed)
        return CliResult::failed(ctx.FailureText.isEmpty() ? QStringLiteral("the split failed") : ctx.FailureText);
    return CliResult::ok();
}
