// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/captureworker.h"

#include "common/language.h"
#include "common/textutil.h"
#include "imaging/callbacks.h"
#include "imaging/configlists.h"
#include "imaging/progress.h"
#include "imaging/taskrun.h"
#include "imaging/wimhandle.h"
#include "metadata/imagefileinfo.h"
#include "metadata/imagemetadata.h"
#include "metadata/imagexml.h"
#include "pages/core/filereplacement.h"
#include "pages/core/mountlogic.h"

#include <QFileInfo>

#include <optional>

namespace {

// Step texts of the log (language string numbers).
enum : int {
    kStepAppendTask = 79,
    kStepCaptureTask = 80,
    kStepOpenFile = 11,
    kStepRegisterCallback = 12,
    kStepTempFolder = 13,
    kStepAppendImage = 81,
    kStepCaptureImage = 82,
    kStepCloseImage = 16,
    kStepBoot = 83,
    kStepUnregisterCallback = 17,
    kStepCloseFile = 18,
    kStepAppendOverall = 84,
    kStepCaptureOverall = 85,
};

// The folder a path names, without its trailing separators ("/" stays).
QString withoutTrailingSeparators(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

// The paths below `source` (from its root, starting with "/") of those of
// `files` that lie inside it, compared by their real locations so that links
// and "." or ".." in either path do not hide one.
QStringList filesInside(const QString& source, const QStringList& files)
{
    const QString root = QFileInfo(source).canonicalFilePath();
    if (root.isEmpty())
        return {};
    const QString prefix = root == QStringLiteral("/") ? QString() : root;
    QStringList inside;
    for (const QString& file : files) {
        const QFileInfo info(file);
        const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
        if (folder.isEmpty())
            continue;
        const QString real = (folder == QStringLiteral("/") ? QString() : folder) + u'/' + info.fileName();
        if (real.startsWith(prefix + u'/'))
            inside << real.mid(prefix.size());
    }
    return inside;
}

bool isOwnFile(const OperationTask& task, const QString& path)
{
    if (task.OwnFiles.isEmpty())
        return false;
    QString below = path.mid(qMin(qsizetype(task.RootLength), path.size()));
    below.replace(u'\\', u'/');
    return task.OwnFiles.contains(below);
}

// The capture callback: the file being written is left out first, then the
// operation's own callback decides as for any other path.
DWORD captureCallback(DWORD msg, WPARAM wParam, LPARAM lParam, void* user)
{
    if (!user)
        return 0;
    auto& task = *static_cast<OperationTask*>(user);
    if (msg == WIM_MSG_PROCESS && wParam && lParam) {
        try {
            if (isOwnFile(task, QString::fromUtf16(reinterpret_cast<const char16_t*>(wParam))))
                *reinterpret_cast<BOOL*>(lParam) = FALSE;
        } catch (...) {
            return WIM_MSG_ABORT_IMAGE;
        }
    }
    const WIM_MESSAGE_CALLBACK inner = task.ShowProgress ? CaptureProgressCallback : CaptureFilterCallback;
    return inner(msg, wParam, lParam, user);
}

// Name, description, display name, display description and flags of the
// new image. The outcome is not logged: the image is captured either way.
void writeImageTexts(const OperationTask& task, HANDLE image)
{
    IMAGEMETADATAEDIT edit;
    edit.Name = task.ImageName;
    edit.Description = task.ImageDescription;
    edit.DisplayName = task.ImageDisplayName;
    edit.DisplayDescription = task.ImageDisplayDescription;
    edit.Flags = task.ImageFlags;
    if (edit.Name.isEmpty() && edit.Description.isEmpty() && edit.DisplayName.isEmpty() &&
        edit.DisplayDescription.isEmpty() && edit.Flags.isEmpty())
        return;
    pugi::xml_document xml;
    if (FetchImageXml(image, xml) && ApplyMetadataEdit(FindImageElement(xml), edit))
        StoreImageXml(image, xml);
}

// Captures into the open file: steps from "注册回调消息..." to "卸载回调消息...".
bool captureInto(OperationTask& task, HANDLE file, const QString& source)
{
    LogStep(task, kStepRegisterCallback);
    task.MessageCallback = captureCallback;
    if (ImagingApi.WIMRegisterMessageCallback(file, task.MessageCallback, &task) == INVALID_CALLBACK_VALUE) {
        LogResult(task, false, true);
        return false;
    }
    LogResult(task, true);
    // The new image's number, for the boot mark, before the capture adds it.
    task.ImageIndex = task.Append ? ImagingApi.WIMGetImageCount(file) + 1 : 1;
    bool captured = false;
    LogStep(task, task.Append ? kStepAppendImage : kStepCaptureImage);
    PostEvent(task, task.Events.callStarted);
    if (task.ShowProgress) {
        task.StartTick = TickCount();
        PostPercent(task.ProgressBar, 0, task);
    }
    WimHandle image(ImagingApi.WIMCaptureImage(file, Utf16(source), 0));
    LogResult(task, bool(image), true);
    PostEvent(task, task.Events.callEnded);
    if (image) {
        writeImageTexts(task, image.get());
        // The boot mark is set while the image is still open: the layer
        // writes the image, its texts and the mark as one change when the
        // image closes, so that a kill leaves either all of them or none.
        bool marked = true;
        if (task.Boot) {
            LogStep(task, kStepBoot);
            marked = ImagingApi.WIMSetBootImage && ImagingApi.WIMSetBootImage(file, task.ImageIndex);
            LogResult(task, marked, true);
        }
        LogStep(task, kStepCloseImage);
        const bool closed = image.close();
        LogResult(task, closed, true);
        captured = closed && marked;
    }
    ErrnoKeeper keep;
    LogStep(task, kStepUnregisterCallback);
    LogResult(task, ImagingApi.WIMUnregisterMessageCallback(file, task.MessageCallback) != FALSE, true);
    return captured;
}

} // namespace

CaptureTargetState CheckCaptureTarget(const QString& source, const QString& target)
{
    CaptureTargetState state;
    const QFileInfo info(target);
    if (!IsExistingFolder(source) || target.isEmpty() || target.endsWith(u'/') ||
        !IsExistingFolder(info.absolutePath()) || info.isDir())
        return state;
    state.create = true;
    if (info.isFile()) {
        WimHandle wim = OpenImageFileRead(target);
        const std::optional<WIM_INFO> attributes = GetImageFileAttributes(wim.get());
        state.splitTarget = attributes && attributes->TotalParts > 1;
        state.append = attributes && attributes->TotalParts <= 1;
    }
    return state;
}

uint32_t AppendCompression(const QString& target, uint32_t selected)
{
    return IsExistingFile(target) ? GetImageFileCompression(target) : selected;
}

bool StartCapture(OperationTask& task, const CaptureRequest& request)
{
    if (!PrepareTaskStart())
        return false;
    task.ImagePath = CutToUnits(request.target, kPathUnits);
    task.TargetPath = CutToUnits(request.source, kPathUnits);
    task.TempPath = CutToUnits(request.tempFolder, kPathUnits);
    task.Append = request.append;
    task.CompressionType = request.append ? AppendCompression(task.ImagePath, request.compression)
                                          : request.compression;
    task.ImageName = request.name;
    task.ImageDescription = request.description;
    task.ImageDisplayName = request.displayName;
    task.ImageDisplayDescription = request.displayDescription;
    // The flags box's first line is a prompt, not flags.
    QString prompt;
    SystemFlagEntries(&prompt);
    const QString flags = CutToUnits(request.flags, kSmallUnits);
    task.ImageFlags = flags == prompt ? QString() : flags;
    task.Boot = request.boot;
    task.ShowProgress = true;
    task.ImageIndex = 0;
    task.Succeeded = false;
    FillConfigurationLists(request.noConfiguration, task);
    OperationTask* t = &task;
    return StartTaskWorker(task, [t] { CaptureWorker(*t); }, [t] {
        if (t->Events.finished)
            t->Events.finished(t->Succeeded);
    });
}

void CaptureWorker(OperationTask& task)
{
    bool captured = false;
    LogStep(task, task.Append ? kStepAppendTask : kStepCaptureTask);
    LogLineBreak(task);
    LogStep(task, kStepOpenFile);
    const QString source = withoutTrailingSeparators(task.TargetPath);
    task.RootLength = uint32_t(RootLength(source));
    if (task.ShowProgress)
        BeginTaskRun(task);
    {
        FileReplacement replacement(task.Append ? QString() : task.ImagePath);
        const QString written = task.Append ? task.ImagePath : replacement.writePath();
        task.OwnFiles = filesInside(source, task.Append ? QStringList{written}
                                                        : QStringList{written, replacement.finalPath()});
        WimHandle file = task.Append ? OpenImageFileModify(written, task.CompressionType)
                                     : CreateImageFileWrite(written, task.CompressionType);
        LogResult(task, bool(file), true);
        if (file) {
            LogStep(task, kStepTempFolder);
            if (!SetTemporaryFolder(file.get(), task.TempPath)) {
                LogResult(task, false, true);
            } else {
                LogResult(task, true);
                captured = captureInto(task, file.get(), source);
            }
            ErrnoKeeper keep;
            LogStep(task, kStepCloseFile);
            LogResult(task, file.close(), true);
        }
        if (captured && !replacement.commit(task.FailureText.isEmpty() ? &task.FailureText : nullptr))
            captured = false;
    }
    LogLineBreak(task);
    PostEvent(task, task.Events.stopButtonDone);
    LogStep(task, task.Append ? kStepAppendOverall : kStepCaptureOverall);
    LogResult(task, captured, task.Cancel.load() == 0);
    task.Succeeded = captured;
    if (task.ShowProgress)
        EndTaskRun(task);
}
