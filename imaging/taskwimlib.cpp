// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/taskwimlib.h"

#include "common/language.h"
#include "imaging/imagingapi.h"
#include "imaging/progress.h"
#include "imaging/taskdialogs.h"
#include "imaging/ticker.h"

#include <QFile>
#include <memory>
#include <vector>

namespace {

constexpr int kWriteThreads = 4;

// wimlib on Linux separates the parts of a path inside an image with "/"
// only; the program shows and accepts "\".
QByteArray imagePath(const QString& path)
{
    QString p = path;
    p.replace(u'\\', u'/');
    return QFile::encodeName(p);
}

QByteArray diskPath(const QString& path)
{
    return QFile::encodeName(path);
}

enum wimlib_progress_status taskProgress(enum wimlib_progress_msg msg, union wimlib_progress_info* info, void* user)
{
    if (!info || !user)
        return WIMLIB_PROGRESS_STATUS_CONTINUE;
    uint64_t done = 0;
    uint64_t total = 0;
    if (msg == WIMLIB_PROGRESS_MSG_EXTRACT_STREAMS) {
        done = info->extract.completed_bytes;
        total = info->extract.total_bytes;
    } else if (msg == WIMLIB_PROGRESS_MSG_WRITE_STREAMS) {
        done = info->write_streams.completed_bytes;
        total = info->write_streams.total_bytes;
    } else {
        return WIMLIB_PROGRESS_STATUS_CONTINUE;
    }
    auto& display = *static_cast<TASKCONTEXT*>(user);
    if (display.Cancel.load())
        return WIMLIB_PROGRESS_STATUS_ABORT;
    try {
        const uint32_t percent = total ? uint32_t(done >= total ? 100 : done * 100 / total) : 0;
        if (percent != display.LastPercent.load()) {
            display.LastPercent = percent;
            PostPercent(display.ProgressBar, percent, display);
        }
    } catch (...) {
        // Progress is only shown; the operation goes on.
    }
    return WIMLIB_PROGRESS_STATUS_CONTINUE;
}

struct WimFree {
    void operator()(WIMStruct* wim) const
    {
        if (WimlibApi.wimlib_free)
            WimlibApi.wimlib_free(wim);
    }
};
using WimPtr = std::unique_ptr<WIMStruct, WimFree>;

bool haveEntries(uint32_t kind)
{
    const WimlibApiTable& w = WimlibApi;
    if (!w.wimlib_global_init || !w.wimlib_open_wim || !w.wimlib_free)
        return false;
    switch (kind) {
    case kWimlibExtractPath:
        return w.wimlib_extract_paths;
    case kWimlibExtractImage:
        return w.wimlib_extract_image;
    case kWimlibAddImage:
        return w.wimlib_add_image && w.wimlib_overwrite;
    case kWimlibAddTree:
        return w.wimlib_add_tree && w.wimlib_overwrite;
    case kWimlibDeletePath:
        return w.wimlib_delete_path && w.wimlib_overwrite;
    case kWimlibDeleteImage:
        return w.wimlib_delete_image && w.wimlib_overwrite;
    case kWimlibRebuild:
        return w.wimlib_overwrite;
    default:
        return false;
    }
}

int runKind(WIMLIBTASK& task, WIMStruct* wim)
{
    const WimlibApiTable& w = WimlibApi;
    const int image = int(task.Image);
    switch (task.Kind) {
    case kWimlibExtractPath: {
        const QByteArray source = imagePath(task.SourcePath);
        const char* paths[] = {source.constData()};
        return w.wimlib_extract_paths(wim, image, diskPath(task.TargetPath).constData(), paths, 1, int(task.Flags));
    }
    case kWimlibExtractImage:
        return w.wimlib_extract_image(wim, image, diskPath(task.TargetPath).constData(), int(task.Flags));
    case kWimlibAddImage: {
        const QByteArray name = task.TargetPath.toUtf8();
        int rc = w.wimlib_add_image(wim, diskPath(task.SourcePath).constData(), name.constData(), nullptr, 0);
        return rc ? rc : w.wimlib_overwrite(wim, 0, kWriteThreads);
    }
    case kWimlibAddTree: {
        int rc = w.wimlib_add_tree(wim, image, diskPath(task.SourcePath).constData(),
                                   imagePath(task.TargetPath).constData(), 0);
        return rc ? rc : w.wimlib_overwrite(wim, 0, kWriteThreads);
    }
    case kWimlibDeletePath: {
        int rc = w.wimlib_delete_path(wim, image, imagePath(task.SourcePath).constData(), WIMLIB_DELETE_FLAG_RECURSIVE);
        return rc ? rc : w.wimlib_overwrite(wim, 0, kWriteThreads);
    }
    case kWimlibDeleteImage: {
        int rc = w.wimlib_delete_image(wim, image);
        return rc ? rc : w.wimlib_overwrite(wim, 0, kWriteThreads);
    }
    case kWimlibRebuild:
        return w.wimlib_overwrite(wim, int(task.Flags | WIMLIB_WRITE_FLAG_REBUILD), kWriteThreads);
    default:
        return WIMLIB_ERR_UNSUPPORTED;
    }
}

} // namespace

int RunWimlibTaskOperation(WIMLIBTASK& task, TASKCONTEXT& display)
{
    SetProgressPrefixes(display);
    display.LastPercent = 0;
    display.StartTick = TickCount();
    StartTicker(display);
    // wimlib_global_cleanup is not called at the end: the imaging layer
    // shares wimlib's global state in this process, and tearing it down
    // under another handle would break that handle.
    int rc = WIMLIB_ERR_UNSUPPORTED;
    if (haveEntries(task.Kind)) {
        try {
            rc = WimlibApi.wimlib_global_init(0);
            WIMStruct* raw = nullptr;
            if (rc == 0)
                rc = WimlibApi.wimlib_open_wim(diskPath(task.WimPath).constData(), 0, &raw);
            WimPtr wim(raw);
            if (rc == 0 && wim && !task.References.isEmpty()) {
                std::vector<QByteArray> names;
                std::vector<const char*> parts;
                for (const QString& part : task.References)
                    names.push_back(diskPath(part));
                for (const QByteArray& name : names)
                    parts.push_back(name.constData());
                rc = WimlibApi.wimlib_reference_resource_files
                         ? WimlibApi.wimlib_reference_resource_files(wim.get(), parts.data(), unsigned(parts.size()), 0, 0)
                         : WIMLIB_ERR_UNSUPPORTED;
            }
            if (rc == 0 && wim) {
                if (WimlibApi.wimlib_register_progress_function)
                    WimlibApi.wimlib_register_progress_function(wim.get(), taskProgress, &display);
                rc = runKind(task, wim.get());
            }
        } catch (...) {
            rc = WIMLIB_ERR_NOMEM;
        }
    }
    StopTicker(display);
    // A short task may end before the ticker's first tick: show the time it took.
    TickElapsed(display);
    task.Result = rc;
    return rc;
}

QString WimlibErrorText(int code)
{
    const char* message =
        WimlibApi.wimlib_get_error_string ? WimlibApi.wimlib_get_error_string(wimlib_error_code(code)) : nullptr;
    return message ? QString::fromUtf8(message) : QString();
}

QString WimlibErrorReport(int code)
{
    return QStringLiteral("WimLib_ErrorCode = ") + QString::number(code) + QStringLiteral("\r\n")
        + WimlibErrorText(code);
}

int RunWimlibTask(QObject* parent, WIMLIBTASK& task)
{
    if (TaskDialogs* dialogs = RegisteredTaskDialogs())
        return dialogs->runWimlibTask(parent, task);
    TASKCONTEXT display;
    return RunWimlibTaskOperation(task, display);
}
