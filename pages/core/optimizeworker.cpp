// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/optimizeworker.h"

#include "common/language.h"
#include "imaging/callbacks.h"
#include "imaging/imagingapi.h"
#include "imaging/progress.h"
#include "imaging/taskrun.h"
#include "imaging/taskwimlib.h"
#include "pages/core/exporttargets.h"
#include "pages/core/filereplacement.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace {

enum : int {
    kStepOpenFile = 11,
    kStepRegisterCallback = 12,
    kStepCloseFile = 18,
    kStepOpenSource = 102,
    kStepOpenTarget = 106,
    kStepCloseTarget = 109,
    kStepCloseSource = 110,
    kStepConvert = 353,
    kStepOptimize = 354,
    kTextErrorCode = 355,
    kTextTargetIsSource = 363,
};

// wimlib_free on every way out.
struct WimGuard {
    WIMStruct* wim = nullptr;
    WimGuard() = default;
    WimGuard(const WimGuard&) = delete;
    WimGuard& operator=(const WimGuard&) = delete;
    ~WimGuard() { reset(); }
    void reset()
    {
        if (wim && WimlibApi.wimlib_free)
            WimlibApi.wimlib_free(wim);
        wim = nullptr;
    }
};

// The LZMS level is process-wide in wimlib: it goes back to wimlib's own
// default when the conversion ends, so that later LZMS writes are not slowed.
struct LzmsLevel {
    bool set = false;
    explicit LzmsLevel(bool solid)
    {
        if (solid && WimlibApi.wimlib_set_default_compression_level)
            set = WimlibApi.wimlib_set_default_compression_level(WIMLIB_COMPRESSION_TYPE_LZMS, 100) == 0;
    }
    LzmsLevel(const LzmsLevel&) = delete;
    LzmsLevel& operator=(const LzmsLevel&) = delete;
    ~LzmsLevel()
    {
        if (set)
            WimlibApi.wimlib_set_default_compression_level(WIMLIB_COMPRESSION_TYPE_LZMS, 0);
    }
};

wimlib_compression_type wimlibCompression(uint32_t type)
{
    switch (type) {
    case 0: return WIMLIB_COMPRESSION_TYPE_NONE;
    case 1: return WIMLIB_COMPRESSION_TYPE_XPRESS;
    case 3: return WIMLIB_COMPRESSION_TYPE_LZMS;
    default: return WIMLIB_COMPRESSION_TYPE_LZX;
    }
}

bool tableComplete()
{
    const WimlibApiTable& w = WimlibApi;
    return w.wimlib_open_wim && w.wimlib_free && w.wimlib_create_new_wim && w.wimlib_export_image && w.wimlib_write
        && w.wimlib_overwrite && w.wimlib_set_output_compression_type && w.wimlib_register_progress_function
        && w.wimlib_set_default_compression_level;
}

void logResultLine(OperationTask& task, bool ok)
{
    LogResult(task, ok, false);
}

int convert(OperationTask& task, WIMStruct* source, int writeFlags, int step)
{
    const WimlibApiTable& w = WimlibApi;
    LogStep(task, kStepOpenTarget);
    FileReplacement replacement(task.TargetPath);
    WimGuard target;
    int error = w.wimlib_create_new_wim(wimlibCompression(task.CompressionType), &target.wim);
    logResultLine(task, error == 0);
    if (error != 0)
        return error;
    LogStep(task, kStepRegisterCallback);
    if (task.ShowProgress)
        w.wimlib_register_progress_function(target.wim, WimlibConvertProgress, &task);
    logResultLine(task, true);
    LogStep(task, step);
    error = w.wimlib_export_image(source, WIMLIB_ALL_IMAGES, target.wim, nullptr, nullptr, WIMLIB_EXPORT_FLAG_GIFT);
    if (error == 0)
        error = w.wimlib_write(target.wim, QFile::encodeName(replacement.writePath()).constData(), WIMLIB_ALL_IMAGES,
                               writeFlags, kOptimizeThreads);
    if (error == 0 && !replacement.commit(nullptr))
        error = WIMLIB_ERR_RENAME;
    logResultLine(task, error == 0);
    LogStep(task, kStepCloseTarget);
    target.reset();
    // A new target that did not come out whole goes (FileReplacement takes
    // care of the one written beside an old file).
    if (error != 0 && !replacement.replacing())
        QFile::remove(task.TargetPath);
    logResultLine(task, true);
    return error;
}

int optimize(OperationTask& task, WIMStruct* wim, int writeFlags, int step)
{
    const WimlibApiTable& w = WimlibApi;
    int error = w.wimlib_set_output_compression_type(wim, wimlibCompression(task.CompressionType));
    LogStep(task, kStepRegisterCallback);
    if (task.ShowProgress)
        w.wimlib_register_progress_function(wim, WimlibConvertProgress, &task);
    logResultLine(task, true);
    LogStep(task, step);
    if (error == 0)
        error = w.wimlib_overwrite(wim, writeFlags | WIMLIB_WRITE_FLAG_RECOMPRESS | WIMLIB_WRITE_FLAG_REBUILD,
                                   kOptimizeThreads);
    logResultLine(task, error == 0);
    LogLineBreak(task);
    return error;
}

} // namespace

void OptimizeWorker(OperationTask& task)
{
    task.Succeeded = false;
    const bool toNewFile = !task.TargetPath.isEmpty();
    const int step = toNewFile ? kStepConvert : kStepOptimize;
    LogLineBreak(task);
    PostPercent(task.ProgressBar, 0, task);
    LogStep(task, step);
    LogLineBreak(task);
    int error = 0;
    bool began = false;
    if (toNewFile && TargetIsSource(task.ImagePath, 1, task.TargetPath)) {
        LogText(task, GetLanguageString(kTextTargetIsSource));
        LogLineBreak(task);
        error = WIMLIB_ERR_INVALID_PARAM;
    } else if (!tableComplete()) {
        error = WIMLIB_ERR_UNSUPPORTED;
    } else {
        if (task.ShowProgress) {
            BeginTaskRun(task);
            began = true;
            PostEvent(task, task.Events.callStarted);
        }
        const WimlibApiTable& w = WimlibApi;
        if (w.wimlib_global_init)
            w.wimlib_global_init(0);
        LogStep(task, toNewFile ? kStepOpenSource : kStepOpenFile);
        WimGuard source;
        error = w.wimlib_open_wim(QFile::encodeName(task.ImagePath).constData(), 0, &source.wim);
        logResultLine(task, error == 0);
        if (error == 0) {
            const bool solid = task.CompressionType == WIM_COMPRESS_LZMS;
            const int writeFlags = WIMLIB_WRITE_FLAG_FSYNC | (solid ? WIMLIB_WRITE_FLAG_SOLID : 0);
            const LzmsLevel level(solid);
            error = toNewFile ? convert(task, source.wim, writeFlags, step) : optimize(task, source.wim, writeFlags, step);
            LogStep(task, toNewFile ? kStepCloseSource : kStepCloseFile);
            source.reset();
            logResultLine(task, true);
        }
    }
    LogLineBreak(task);
    LogStep(task, step);
    logResultLine(task, error == 0);
    if (error != 0) {
        LogText(task, GetLanguageString(kTextErrorCode) + QString::number(error));
        LogLineBreak(task);
        LogText(task, WimlibErrorText(error));
        LogLineBreak(task);
    }
    if (began)
        EndTaskRun(task);
    else if (task.Cancel.load())
        LogUserStop(task);
    PostEvent(task, task.Events.callEnded);
    task.WimlibError = error;
    task.Succeeded = error == 0;
}
