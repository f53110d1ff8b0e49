// SPDX-License-Identifier: GPL-3.0-or-later
// "/Export" and "/Split".
#include "app/cli.h"
#include "app/cli_actions.h"

#include "pages/core/exportworker.h"

#include <QFileInfo>

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
    WIMFILEINFO info;
    if (GetImageFileInfo(source, info) == 0)
        return CliResult::failed(QStringLiteral("the image file cannot be read: ") + source);
    // A name that matches no image would otherwise export every image.
    if (!unknownName.isEmpty())
        return CliResult::failed(QStringLiteral("the image file has no image named ") + unknownName);
    if (number > info.ImageCount)
        return CliResult::failed(QStringLiteral("the image file has no image ") + QString::number(number));
    const uint32_t compression =
        QFileInfo(target).isFile() ? GetImageFileCompression(target) : GetCompressOption(args);
    const bool withWindow = compression == WIM_COMPRESS_LZMS && RegisteredTaskDialogs();
    std::vector<WIMIMAGEINFO> images;
    if (withWindow) {
        images.assign(info.ImageCount, WIMIMAGEINFO{});
        WIMFILEINFO withTotals = info;
        if (!ReadImageInfo(source, withTotals, images))
            images.clear();
    }
    return RunUnattendedWork(task, UnattendedStopMode::Export, 294, withWindow, withWindow,
                             [&task, source, number, target, info, images](bool window) {
                                 PrepareUnattendedTask(task, source, number, target, window);
                                 OperationTask& ctx = task.ctx;
                                 ctx.setFileInfo(info);
                                 ctx.Images = images;
                                 ExportWorker(ctx);
                                 task.result = WorkerOutcome(ctx, ctx.Succeeded, QStringLiteral("the export failed"));
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
    PrepareUnattendedTask(task, file, 0, target, false);
    task.ctx.PartMegabytes = megabytes;
    SplitWorker(task.ctx);
    return WorkerOutcome(task.ctx, task.ctx.Succeeded, QStringLiteral("the split failed"));
}
