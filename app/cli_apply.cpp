// SPDX-License-Identifier: GPL-3.0-or-later
// "/Apply", "/ExtrImage", "/Capture", "/CompPath" and "/Append".
#include "app/cli.h"
#include "app/cli_actions.h"

#include "imaging/callbacks.h"
#include "imaging/configlists.h"
#include "imaging/progress.h"
#include "imaging/taskrun.h"
#include "imaging/ticker.h"
#include "metadata/imagexml.h"
#include "metadata/splitparts.h"
#include "metadata/wimhandle.h"
#include "metadata/xmlnodes.h"
#include "app/settings.h"
#include "app/switches.h"
#include "common/textutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr DWORD kApplyFlags = WIM_FLAG_FILEINFO;
constexpr DWORD kApplyFlagsNoAcl = WIM_FLAG_FILEINFO | WIM_FLAG_NO_FILEACL | WIM_FLAG_NO_DIRACL;

bool apiReady()
{
    const ImagingApiTable& a = ImagingApi;
    return a.WIMCreateFile && a.WIMCloseHandle && a.WIMLoadImage && a.WIMApplyImage && a.WIMCaptureImage
        && a.WIMSetTemporaryPath && a.WIMRegisterMessageCallback && a.WIMUnregisterMessageCallback;
}

} // namespace

void ApplyWorker(UnattendedTask& task)
{
    TASKCONTEXT& ctx = task.ctx;
    bool applied = false;
    LogStep(ctx, 10);
    LogLineBreak(ctx);
    LogLineBreak(ctx);
    LogStep(ctx, 11);
    if (task.withWindow)
        BeginTaskRun(ctx);
    QString path = ctx.ImagePath;
    bool opened = true;
    if (task.info.TotalParts > 1) {
        opened = FirstSplitPartName(path, task.info.PartNumber);
        if (!opened)
            errno = ENOENT;
    }
    WimHandle file(opened ? OpenImageFileRead(path) : nullptr);
    if (!file) {
        LogResult(ctx, false, true);
    } else if (task.info.TotalParts > 1 && !ReferenceSplitParts(file.get(), path, task.info.TotalParts)) {
        LogResult(ctx, false, true);
    } else {
        LogResult(ctx, true);
        LogStep(ctx, 12);
        ctx.RootLength = uint32_t(RootLength(ctx.TargetPath));
        ctx.MessageCallback = task.withWindow ? ApplyProgressCallback : ApplyFilterCallback;
        if (ImagingApi.WIMRegisterMessageCallback(file.get(), ctx.MessageCallback, &ctx) == INVALID_CALLBACK_VALUE) {
            LogResult(ctx, false, true);
        } else {
            LogResult(ctx, true);
            LogStep(ctx, 13);
            if (!SetTemporaryFolder(file.get(), ctx.TempPath)) {
                LogResult(ctx, false, true);
            } else {
                LogResult(ctx, true);
                LogStep(ctx, 14);
                WimHandle image(ImagingApi.WIMLoadImage(file.get(), ctx.ImageIndex));
                LogResult(ctx, bool(image), true);
                if (image) {
                    LogLineBreak(ctx);
                    LogStep(ctx, 15);
                    QDir().mkpath(ctx.TargetPath);
                    const DWORD flags = HasOption(task.args, QStringLiteral("/NotAcl")) ? kApplyFlagsNoAcl : kApplyFlags;
                    applied = ImagingApi.WIMApplyImage(image.get(), Units(ctx.TargetPath).c_str(), flags) != FALSE;
                    LogResult(ctx, applied, true);
                    LogLineBreak(ctx);
                    LogStep(ctx, 16);
                    LogResult(ctx, image.close(), true);
                }
            }
            LogStep(ctx, 17);
            LogResult(ctx, ImagingApi.WIMUnregisterMessageCallback(file.get(), ctx.MessageCallback) != FALSE, true);
        }
        LogStep(ctx, 18);
        LogResult(ctx, file.close(), true);
    }
    LogLineBreak(ctx);
    LogStep(ctx, 19);
    LogResult(ctx, applied, ctx.Cancel.load() == 0);
    if (applied && AppSettings().autoOpenPath)
        OpenFolderInShell(ctx.TargetPath);
    if (task.withWindow)
        EndTaskRun(ctx);
    task.result = WorkerOutcome(ctx, applied, QStringLiteral("the image could not be applied"));
}

void CaptureWorker(UnattendedTask& task)
{
    TASKCONTEXT& ctx = task.ctx;
    bool captured = false;
    LogStep(ctx, task.append ? 79 : 80);
    LogLineBreak(ctx);
    LogStep(ctx, 11);
    QString source = ctx.TargetPath;
    while (source.size() > 1 && source.endsWith(u'/'))
        source.chop(1);
    ctx.RootLength = uint32_t(RootLength(source));
    if (task.withWindow)
        BeginTaskRun(ctx);
    // A file that is replaced keeps its old images until the new one is
    // complete: the capture goes into a file beside it that takes its place
    // at the end, so a failed capture leaves the old file as it was.
    QString finalPath = ctx.ImagePath;
    const bool replacing = !task.append && QFileInfo(finalPath).isFile();
    if (replacing)
        finalPath = QFileInfo(finalPath).canonicalFilePath();
    const QString writePath = replacing ? finalPath + QStringLiteral(".kestrel-new") : finalPath;
    WimHandle file(task.append ? OpenImageFileModify(ctx.ImagePath, ctx.CompressionType)
                               : CreateImageFileWrite(writePath, ctx.CompressionType));
    LogResult(ctx, bool(file), true);
    if (file) {
        LogStep(ctx, 13);
        if (!SetTemporaryFolder(file.get(), ctx.TempPath)) {
            LogResult(ctx, false, true);
        } else {
            LogResult(ctx, true);
            LogStep(ctx, 12);
            ctx.MessageCallback = task.withWindow ? CaptureProgressCallback : CaptureFilterCallback;
            if (ImagingApi.WIMRegisterMessageCallback(file.get(), ctx.MessageCallback, &ctx) == INVALID_CALLBACK_VALUE) {
                LogResult(ctx, false, true);
            } else {
                LogResult(ctx, true);
                LogStep(ctx, task.append ? 81 : 82);
                WimHandle image(ImagingApi.WIMCaptureImage(file.get(), Units(source).c_str(), 0));
                LogResult(ctx, bool(image), true);
                if (image) {
                    if (!task.imageName.isEmpty()) {
                        // The name is part of the image's information; a failure
                        // to store it leaves the captured image as it is.
                        pugi::xml_document xml;
                        if (FetchImageXml(image.get(), xml) && SetChildText(FindImageElement(xml), "NAME", task.imageName))
                            StoreImageXml(image.get(), xml);
                    }
                    LogStep(ctx, 16);
                    captured = image.close();
                    LogResult(ctx, captured, true);
                    if (captured && task.boot) {
                        LogStep(ctx, 83);
                        captured = ImagingApi.WIMSetBootImage && ImagingApi.WIMSetBootImage(file.get(), ctx.ImageIndex);
                        LogResult(ctx, captured, true);
                    }
                }
                LogStep(ctx, 17);
                LogResult(ctx, ImagingApi.WIMUnregisterMessageCallback(file.get(), ctx.MessageCallback) != FALSE, true);
            }
        }
        LogStep(ctx, 18);
        LogResult(ctx, file.close(), true);
    }
    if (replacing && captured && std::rename(QFile::encodeName(writePath).constData(),
                                             QFile::encodeName(finalPath).constData()) != 0) {
        captured = false;
        if (ctx.FailureText.isEmpty())
            ctx.FailureText = QStringLiteral("the new file could not take the place of ") + finalPath + QStringLiteral(": ")
                + QString::fromLocal8Bit(std::strerror(errno));
    }
    if (replacing && !captured)
        QFile::remove(writePath);
    LogLineBreak(ctx);
    LogStep(ctx, task.append ? 84 : 85);
    LogResult(ctx, captured, ctx.Cancel.load() == 0);
    if (task.withWindow)
        EndTaskRun(ctx);
    task.result = WorkerOutcome(ctx, captured, QStringLiteral("the folder could not be captured"));
}

CliResult RunApply(const QStringList& args, int switchIndex)
{
    if (!apiReady())
        return CliResult::failed(QStringLiteral("the imaging library is not available"));
    UnattendedTask& task = CommandLineTask();
    task.args = args;
    task.switchIndex = switchIndex;
    QString file = args.at(2);
    QString unknownName;
    uint32_t number = ParseImageReference(file, &unknownName);
    if (number == 0)
        number = 1;
    QString target = args.at(3);
    if (IsOptionWord(target)) {
        // Beside the image file, in a folder named after it.
        const QFileInfo info(file);
        const qsizetype dot = info.fileName().lastIndexOf(u'.');
        if (dot <= 0)
            return CliResult::wrongArguments(QStringLiteral("no target folder can be named after ") + file);
        target = info.absolutePath() + u'/' + info.fileName().left(dot);
        if (target.size() >= kPathUnits)
            return CliResult::wrongArguments(QStringLiteral("the target folder beside the file is too long: ") + target);
    }
    if (!QFileInfo(file).isFile())
        return CliResult::failed(QStringLiteral("the image file does not exist: ") + file);
    if (GetImageFileInfo(file, task.info) == 0)
        return CliResult::failed(QStringLiteral("the image file cannot be read: ") + file);
    // A name that matches no image would otherwise apply image 1.
    if (!unknownName.isEmpty())
        return CliResult::failed(QStringLiteral("the image file has no image named ") + unknownName);
    if (number > task.info.ImageCount)
        return CliResult::failed(QStringLiteral("the image file has no image ") + QString::number(number));
    return RunUnattendedWork(task, UnattendedStopMode::Apply, 246, switchIndex == kSwitchExtrImage, true,
                             [&task, file, number, target](bool withWindow) {
                                 PrepareUnattendedTask(task, file, number, target, withWindow);
                                 ApplyWorker(task);
                             });
}

CliResult RunCapture(const QStringList& args, int switchIndex)
{
    if (!apiReady())
        return CliResult::failed(QStringLiteral("the imaging library is not available"));
    UnattendedTask& task = CommandLineTask();
    task.args = args;
    task.switchIndex = switchIndex;
    task.append = switchIndex == kSwitchAppend;
    const QString source = args.at(2);
    QString file = args.at(3);
    QString name;
    SplitAtLastComma(file, name);
    task.imageName = name;
    if (!QFileInfo(source).isDir())
        return CliResult::failed(QStringLiteral("the source folder does not exist: ") + source);
    if (task.append && !QFileInfo(file).isFile())
        return CliResult::failed(QStringLiteral("the image file does not exist: ") + file);
    // A new file holds the new image as image 1; an append adds it after
    // the images the file has.
    uint32_t number = 1;
    if (task.append) {
        WimHandle existing(OpenImageFileRead(file));
        number = (existing ? ImagingApi.WIMGetImageCount(existing.get()) : 0) + 1;
    }
    return RunUnattendedWork(task, UnattendedStopMode::Capture, 247, switchIndex == kSwitchCompPath, true,
                             [&task, file, number, source](bool withWindow) {
                                 // Capture takes the compression of a new file from
                                 // the options, never from the source folder.
                                 PrepareUnattendedTask(task, file, number, source, withWindow);
                                 if (!task.append)
                                     task.ctx.CompressionType = GetCompressOption(task.args);
                                 else
                                     task.ctx.CompressionType = GetImageFileCompression(file);
                                 CaptureWorker(task);
                             });
}
