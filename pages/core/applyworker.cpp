// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/applyworker.h"

#include "common/abortlock.h"
#include "common/language.h"
#include "common/textutil.h"
#include "imaging/callbacks.h"
#include "imaging/configlists.h"
#include "imaging/progress.h"
#include "imaging/taskrun.h"
#include "imaging/wimhandle.h"
#include "pages/core/mountlogic.h"
#include "pages/core/sourcefile.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <mutex>

namespace {

// Step texts of the log (language string numbers).
enum : int {
    kStepApplyTask = 10,
    kStepOpenFile = 11,
    kStepRegisterCallback = 12,
    kStepTempFolder = 13,
    kStepLoadImage = 14,
    kStepApply = 15,
    kStepCloseImage = 16,
    kStepUnregisterCallback = 17,
    kStepCloseFile = 18,
    kStepOverall = 19,
};

} // namespace

DWORD ApplyFlags(bool clearSecurity)
{
    return clearSecurity ? (WIM_FLAG_FILEINFO | WIM_FLAG_NO_FILEACL | WIM_FLAG_NO_DIRACL) : WIM_FLAG_FILEINFO;
}

ApplyStart StartApply(OperationTask& task, const ApplyRequest& request, const std::function<bool()>& askOverwrite,
                      const std::function<void()>& prepareInfoBox)
{
    const QString target = CutToUnits(request.targetFolder, kPathUnits);
    if (!IsExistingFolder(target) || !PrepareTaskStart())
        return ApplyStart::NotStarted;
    if (prepareInfoBox)
        prepareInfoBox();
    if (DirectoryHasEntries(target) && !(askOverwrite && askOverwrite()))
        return ApplyStart::Declined;

    task.ImagePath = CutToUnits(request.imageFile, kPathUnits);
    task.TargetPath = target;
    task.TempPath = CutToUnits(request.tempFolder, kPathUnits);
    task.ImageIndex = request.imageIndex;
    task.setFileInfo(request.fileInfo);
    task.ShowProgress = true;
    task.CreateTarget = false;
    task.ClearSecurity = request.clearSecurity;
    task.OpenWhenDone = request.openWhenDone;
    task.Succeeded = false;
    FillConfigurationLists(request.noConfiguration, task);
    OperationTask* t = &task;
    const bool started = StartTaskWorker(task, [t] { ApplyWorker(*t); }, [t] {
        if (t->Events.finished)
            t->Events.finished(t->Succeeded);
    });
    return started ? ApplyStart::Started : ApplyStart::NotStarted;
}

namespace {

// Runs the apply itself and undoes the callback registration: steps from
// "注册回调消息..." to "卸载回调消息...". errno is left as the failing step
// (or the apply) set it, for the overall line. True when the image was
// applied.
bool ApplyOpenFile(OperationTask& task, HANDLE file)
{
    {
        // The counters start afresh, but a stop asked for while the file
        // was opened (the page or the program closing) still holds; stops
        // are asked for under the abort lock. Done before the step line, so
        // that a failure of the step is reported under its own name.
        std::lock_guard lock(AbortLock());
        const uint32_t cancel = task.Cancel.load();
        const QString failure = task.FailureText;
        task.resetProgress();
        task.Cancel = cancel;
        task.FailureText = failure;
    }
    LogStep(task, kStepRegisterCallback);
    // Trailing separators of the typed target are not part of the root:
    // patterns such as "\pagefile.sys" must still meet their separator.
    task.RootLength = static_cast<uint32_t>(RootLength(task.TargetPath));
    // Without a progress display only the capture configuration filters.
    task.MessageCallback = task.ShowProgress ? ApplyProgressCallback : ApplyFilterCallback;
    const bool registered = ImagingApi.WIMRegisterMessageCallback &&
                            ImagingApi.WIMRegisterMessageCallback(file, task.MessageCallback, &task) !=
                                INVALID_CALLBACK_VALUE;
    if (!registered) {
        LogResult(task, false, true);
        return false;
    }
    LogResult(task, true);

    bool applied = false;
    LogStep(task, kStepTempFolder);
    WimHandle image;
    if (!SetTemporaryFolder(file, task.TempPath)) {
        LogResult(task, false, true);
    } else {
        LogResult(task, true);
        LogStep(task, kStepLoadImage);
        image.reset(ImagingApi.WIMLoadImage ? ImagingApi.WIMLoadImage(file, task.ImageIndex) : nullptr);
        LogResult(task, bool(image), true);
    }
    if (image) {
        PostEvent(task, task.Events.callStarted);
        const DWORD flags = ApplyFlags(task.ClearSecurity);
        LogLineBreak(task);
        LogStep(task, kStepApply);
        if (task.CreateTarget)
            QDir().mkpath(task.TargetPath);
        applied = ImagingApi.WIMApplyImage && ImagingApi.WIMApplyImage(image.get(), Utf16(task.TargetPath), flags);
        const int applyErrno = errno;
        LogResult(task, applied, true, applyErrno);
        LogLineBreak(task);
        PostEvent(task, task.Events.callEnded);
        LogStep(task, kStepCloseImage);
        LogResult(task, image.close(), true);
        PostEvent(task, task.Events.stopButtonDone);
        errno = applyErrno;
    }
    const int lastErrno = errno;
    LogStep(task, kStepUnregisterCallback);
    LogResult(task,
              ImagingApi.WIMUnregisterMessageCallback &&
                  ImagingApi.WIMUnregisterMessageCallback(file, task.MessageCallback),
              true);
    errno = lastErrno;
    return applied;
}

} // namespace

void ApplyWorker(OperationTask& task)
{
    LogStep(task, kStepApplyTask);
    LogLineBreak(task);
    LogLineBreak(task);
    LogStep(task, kStepOpenFile);

    if (task.ShowProgress)
        BeginTaskRun(task);

    WimHandle file = OpenSourceFile(task, task.ImagePath);
    const bool opened = bool(file);

    bool applied = false;
    if (opened) {
        applied = ApplyOpenFile(task, file.get());
        const int lastErrno = errno;
        LogStep(task, kStepCloseFile);
        LogResult(task, file.close(), true);
        errno = lastErrno;
    }
    LogLineBreak(task);
    LogStep(task, kStepOverall);
    const bool cancelled = task.Cancel.load() != 0;
    LogResult(task, applied, !cancelled);
    task.Succeeded = applied;
    if (task.ShowProgress)
        EndTaskRun(task);

    if (applied && task.OpenWhenDone && task.Events.openFolder)
        PostEvent(task, [open = task.Events.openFolder, folder = task.TargetPath] { open(folder); });
}
