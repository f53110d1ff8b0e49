// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/imageinfoworker.h"

#include "imaging/progress.h"
#include "imaging/wimhandle.h"

#include <cerrno>

namespace {

enum : int {
    kStepDelete = 163,
    kStepModify = 165,
};

} // namespace

void DeleteImageWorker(ImageInfoTask& task)
{
    LogStep(task, kStepDelete);
    bool deleted = false;
    int error = ENOSYS;
    if (ImagingApi.WIMDeleteImage) {
        // The layer has written the file when the call returns; closing the
        // handle afterwards changes nothing on disk.
        WimHandle file = OpenImageFileReadWrite(task.ImagePath);
        error = errno;
        if (file) {
            deleted = SetTemporaryFolder(file.get(), task.TempPath) &&
                      ImagingApi.WIMDeleteImage(file.get(), task.ImageIndex);
            error = errno;
        }
    }
    if (!deleted && error == 0)
        error = EIO;
    task.Succeeded = deleted;
    LogResult(task, deleted, true, error);
}

void ModifyImageWorker(ImageInfoTask& task)
{
    LogStep(task, kStepModify);
    errno = 0;
    const bool stored = SetImageMetadata(task.ImagePath, task.Edit, task.TempPath);
    const int error = stored || errno ? errno : EIO;
    task.Succeeded = stored;
    LogResult(task, stored, true, error);
}
