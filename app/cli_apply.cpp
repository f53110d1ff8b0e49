// SPDX-License-Identifier: GPL-3.0-or-later
// "/Apply", "/ExtrImage", "/Capture", "/CompPath" and "/Append".
#include "app/cli.h"
#include "app/cli_actions.h"

#include "app/switches.h"
#include "common/settings.h"
#include "common/textutil.h"
#include "imaging/wimhandle.h"
#include "pages/core/applyworker.h"
#include "pages/core/captureworker.h"

#include <QFileInfo>

namespace {

bool apiReady()
{
    const ImagingApiTable& a = ImagingApi;
    return a.WIMCreateFile && a.WIMCloseHandle && a.WIMLoadImage && a.WIMApplyImage && a.WIMCaptureImage
        && a.WIMSetTemporaryPath && a.WIMRegisterMessageCallback && a.WIMUnregisterMessageCallback;
}

} // namespace

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
    WIMFILEINFO info;
    if (GetImageFileInfo(file, info) == 0)
        return CliResult::failed(QStringLiteral("the image file cannot be read: ") + file);
    // A name that matches no image would otherwise apply image 1.
    if (!unknownName.isEmpty())
        return CliResult::failed(QStringLiteral("the image file has no image named ") + unknownName);
    if (number > info.ImageCount)
        return CliResult::failed(QStringLiteral("the image file has no image ") + QString::number(number));
    return RunUnattendedWork(task, UnattendedStopMode::Apply, 246, switchIndex == kSwitchExtrImage, true,
                             [&task, file, number, target, info](bool withWindow) {
                                 PrepareUnattendedTask(task, file, number, target, withWindow);
                                 OperationTask& ctx = task.ctx;
                                 ctx.setFileInfo(info);
                                 ctx.CreateTarget = true;
                                 ctx.ClearSecurity = HasOption(task.args, QStringLiteral("/NotAcl"));
                                 ctx.OpenWhenDone = false; // opened here, not through the dialog
                                 ctx.Events = {};
                                 ApplyWorker(ctx);
                                 if (ctx.Succeeded && AppSettings().autoOpenPath)
                                     OpenFolderInShell(ctx.TargetPath);
                                 task.result = WorkerOutcome(ctx, ctx.Succeeded,
                                                             QStringLiteral("the image could not be applied"));
                             });
}

CliResult RunCapture(const QStringList& args, int switchIndex)
{
    if (!apiReady())
        return CliResult::failed(QStringLiteral("the imaging library is not available"));
    UnattendedTask& task = CommandLineTask();
    task.args = args;
    task.switchIndex = switchIndex;
    const bool append = switchIndex == kSwitchAppend;
    const QString source = args.at(2);
    QString file = args.at(3);
    QString name;
    SplitAtLastComma(file, name);
    if (!QFileInfo(source).isDir())
        return CliResult::failed(QStringLiteral("the source folder does not exist: ") + source);
    if (append && !QFileInfo(file).isFile())
        return CliResult::failed(QStringLiteral("the image file does not exist: ") + file);
    return RunUnattendedWork(task, UnattendedStopMode::Capture, 247, switchIndex == kSwitchCompPath, true,
                             [&task, file, source, append, name](bool withWindow) {
                                 // Capture takes the compression of a new file from
                                 // the options, never from the source folder. The
                                 // worker numbers the new image itself.
                                 PrepareUnattendedTask(task, file, 1, source, withWindow);
                                 OperationTask& ctx = task.ctx;
                                 ctx.Append = append;
                                 ctx.ImageName = name;
                                 ctx.CompressionType = append ? GetImageFileCompression(file)
                                                              : GetCompressOption(task.args);
                                 CaptureWorker(ctx);
                                 task.result = WorkerOutcome(ctx, ctx.Succeeded,
                                                             QStringLiteral("the folder could not be captured"));
                             });
}
