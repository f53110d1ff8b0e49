// SPDX-License-Identifier: GPL-3.0-or-later
// One wimlib operation of a page (browser, delete, rebuild) and the modal
// progress dialog it runs in.
#pragma once

#include "imaging/taskcontext.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>

struct WIMLIBTASK {
    QString WimPath;    // the image file
    QString SourcePath; // folder or path inside the image taken from or removed
    QString TargetPath; // target folder, path inside the image, or new image name
    uint32_t Image = 1;
    uint32_t Flags = 0;
    uint32_t Kind = 0;  // WimlibTaskKind
    int32_t Result = 0; // wimlib result code (0 = success)
    QString Title;      // the progress dialog's title; the program title when empty
    // The other parts of a split set whose first part is WimPath; their data
    // is read from them.
    QStringList References;
    // The part a later part's set needs first, when the task's builder could
    // not find it; WimPath is then the chosen part, and the task cannot run.
    QString MissingFirstPart;
};

enum WimlibTaskKind : uint32_t {
    kWimlibExtractPath = 0, // wimlib_extract_paths(Image, TargetPath, {SourcePath}, Flags)
    kWimlibExtractImage = 1,
    kWimlibAddImage = 2,    // SourcePath captured as a new image named TargetPath
    kWimlibAddTree = 3,     // SourcePath added at TargetPath inside Image
    kWimlibDeletePath = 4,  // SourcePath removed from Image, recursively
    kWimlibDeleteImage = 5,
    kWimlibRebuild = 6,     // overwrite with Flags | WIMLIB_WRITE_FLAG_REBUILD
    kWimlibTaskKinds = 7,
};

// Runs the task's operation through WimlibApi on the calling thread: the
// elapsed time ticks into display.ElapsedLabel and the percent of the
// extracted or written bytes goes to display.ProgressBar (posted only when it
// changes). Stores and returns the result; a missing wimlib entry or an
// unknown kind gives WIMLIB_ERR_UNSUPPORTED, a wimlib handle that cannot be
// opened its error code.
int RunWimlibTaskOperation(WIMLIBTASK& task, TASKCONTEXT& display);

// "WimLib_ErrorCode = <code>\r\n<wimlib's text>", the dialog's error report.
QString WimlibErrorReport(int code);
// wimlib's own text for an error code; empty when it has none.
QString WimlibErrorText(int code);

// RunWimlibTask: with a display (a registered dialog, taskdialogs.h) the modal
// progress dialog runs the task on its own thread; it closes by itself on
// success and stays open with the error report on failure; its "取消" label
// closes it at once without stopping the task. Without a display the task
// runs to its end on the calling thread. Returns task.Result.
int RunWimlibTask(QObject* parent, WIMLIBTASK& task);
