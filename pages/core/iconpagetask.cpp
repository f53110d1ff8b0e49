// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/iconpagetask.h"

#include "common/iconcache.h"
#include "imaging/progress.h"
#include "imaging/wimhandle.h"

#include <cerrno>

namespace {

enum : int {
    kStepOpen = 11,
    kStepTemporary = 13,
    kStepLoad = 14,
    kStepCloseImage = 16,
    kStepCloseFile = 18,
    kTaskWrite = 195,
    kTaskDelete = 196,
    kStepWrite = 197,
    kStepDelete = 198,
    kWriteFailed = 199,
    kDeleteFailed = 200,
    kTaskSucceeded = 201,
    kTaskFailed = 202,
};

// The errno of a failed step, or EIO when the layer left none.
int failureErrno()
{
    return errno ? errno : EIO;
}

// Steps 3 to 7: temporary folder, image 1, the change, closing the image.
// False when one of them failed; the image handle is closed in any case.
bool changeImage(IconTask& task, HANDLE file, bool deleting)
{
    LogStep(task, kStepTemporary);
    errno = 0;
    if (!SetTemporaryFolder(file, task.TempPath)) {
        LogResult(task, false, true, failureErrno());
        return false;
    }
    LogResult(task, true);

    LogStep(task, kStepLoad);
    errno = 0;
    WimHandle image(ImagingApi.WIMLoadImage ? ImagingApi.WIMLoadImage(file, 1) : nullptr);
    if (!image) {
        LogResult(task, false, true, failureErrno());
        return false;
    }
    LogResult(task, true);

    LogStep(task, deleting ? kStepDelete : kStepWrite);
    errno = 0;
    task.IconResult = deleting ? DeleteImageIconXml(image.get()) : WriteImageIconXml(image.get(), task.EncodedIcon);
    task.MetadataStored = task.IconResult == kIconOk;
    // Only a refused store has a system error behind it; a missing element
    // is said by 199 or 200.
    const bool systemFailure = task.IconResult == kIconNotStored || task.IconResult == kIconNoXml;
    LogResult(task, task.MetadataStored, systemFailure, failureErrno());
    if (!task.MetadataStored) {
        LogStep(task, deleting ? kDeleteFailed : kWriteFailed);
        LogLineBreak(task);
    }

    LogStep(task, kStepCloseImage);
    errno = 0;
    const bool closed = image.close();
    LogResult(task, closed, true, failureErrno());
    return task.MetadataStored && closed;
}

} // namespace

void RunIconTask(IconTask& task)
{
    const bool deleting = task.EncodedIcon.isEmpty();
    task.Succeeded = false;
    task.IconResult = kIconNotOpened;
    task.MetadataStored = false;
    task.StoredIcon = IMAGEICON{};
    LogStep(task, deleting ? kTaskDelete : kTaskWrite);
    LogLineBreak(task);

    LogStep(task, kStepOpen);
    errno = 0;
    WimHandle file = OpenImageFileReadWrite(task.ImagePath);
    bool ok = bool(file);
    LogResult(task, ok, true, failureErrno());
    if (ok) {
        ok = changeImage(task, file.get(), deleting);
        LogStep(task, kStepCloseFile);
        errno = 0;
        const bool closed = file.close();
        LogResult(task, closed, true, failureErrno());
        ok = ok && closed;
    }
    task.Succeeded = ok;
    if (ok)
        task.StoredIcon = ReadImageIcon(task.ImagePath, task.PreviewSize, 0);
    LogStep(task, ok ? kTaskSucceeded : kTaskFailed);
    LogLineBreak(task);
}

void RebuildIconCacheWorker(IconTask& task)
{
    task.CacheRemoved = RebuildIconCache();
    task.Succeeded = task.CacheRemoved >= 0;
}
