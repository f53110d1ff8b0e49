// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/captureworker.h"

#include "common/textutil.h"
#include "imaging/callbacks.h"
#include "imaging/configlists.h"
#include "imaging/progress.h"
#include "imaging/taskrun.h"
#include "imaging/wimhandle.h"
#include "metadata/imagexml.h"
#include "metadata/xmlnodes.h"
#include "pages/core/filereplacement.h"

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

// Captures into the open file: steps from "注册回调消息..." to "卸载回调消息...".
bool captureInto(OperationTask& task, HANDLE file, const QString& source)
{
    LogStep(task, kStepRegisterCallback);
    task.MessageCallback = task.ShowProgress ? CaptureProgressCallback : CaptureFilterCallback;
    if (ImagingApi.WIMRegisterMessageCallback(file, task.MessageCallback, &task) == INVALID_CALLBACK_VALUE) {
        LogResult(task, false, true);
        return false;
    }
    LogResult(task, true);
    bool captured = false;
    LogStep(task, task.Append ? kStepAppendImage : kStepCaptureImage);
    WimHandle image(ImagingApi.WIMCaptureImage(file, Utf16(source), 0));
    LogResult(task, bool(image), true);
    if (image) {
        if (!task.ImageName.isEmpty()) {
            // The name is part of the image's information; a failure to
            // store it leaves the captured image as it is.
            pugi::xml_document xml;
            if (FetchImageXml(image.get(), xml) && SetChildText(FindImageElement(xml), "NAME", task.ImageName))
                StoreImageXml(image.get(), xml);
        }
        LogStep(task, kStepCloseImage);
        captured = image.close();
        LogResult(task, captured, true);
        if (captured && task.Boot) {
            LogStep(task, kStepBoot);
            captured = ImagingApi.WIMSetBootImage && ImagingApi.WIMSetBootImage(file, task.ImageIndex);
            LogResult(task, captured, true);
        }
    }
    ErrnoKeeper keep;
    LogStep(task, kStepUnregisterCallback);
    LogResult(task, ImagingApi.WIMUnregisterMessageCallback(file, task.MessageCallback) != FALSE, true);
    return captured;
}

} // namespace

void CaptureWorker(OperationTask& task)
{
    bool captured = false;
    LogStep(task, task.Append ? kStepAppendTask : kStepCaptureTask);
    LogLineBreak(task);
    LogStep(task, kStepOpenFile);
    QString source = task.TargetPath;
    while (source.size() > 1 && source.endsWith(u'/'))
        source.chop(1);
    task.RootLength = uint32_t(RootLength(source));
    if (task.ShowProgress)
        BeginTaskRun(task);
    {
        FileReplacement replacement(task.Append ? QString() : task.ImagePath);
        WimHandle file = task.Append ? OpenImageFileModify(task.ImagePath, task.CompressionType)
                                     : CreateImageFileWrite(replacement.writePath(), task.CompressionType);
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
    LogStep(task, task.Append ? kStepAppendOverall : kStepCaptureOverall);
    LogResult(task, captured, task.Cancel.load() == 0);
    task.Succeeded = captured;
    if (task.ShowProgress)
        EndTaskRun(task);
}
