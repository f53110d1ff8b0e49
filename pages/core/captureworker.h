// SPDX-License-Identifier: GPL-3.0-or-later
// Capturing a folder into a new image file, or appending it to an existing
// one, for the page and the command line alike: the checks that decide which
// start buttons a page offers, the start, and the worker.
#pragma once

#include "pages/core/operationtask.h"

#include <QString>
#include <cstdint>

// Which of the two start buttons may be pressed.
struct CaptureTargetState {
    bool create = false;      // the source is a folder and the target can be written as a new file
    bool append = false;      // ... and the target is a readable image file that is not split
    bool splitTarget = false; // the target is part of a split set (message 78)
};

// The source must be an existing folder and the target's folder must exist.
// An existing target that is a folder cannot be written; an existing file
// can always be replaced, and appended to when it is readable and not split.
CaptureTargetState CheckCaptureTarget(const QString& source, const QString& target);

// The compression an append uses: an existing target file's own (LZX when it
// cannot be read), else `selected`.
uint32_t AppendCompression(const QString& target, uint32_t selected);

// The page's choices for one capture.
struct CaptureRequest {
    QString source;
    QString target;
    QString tempFolder;          // the settings' temporary working folder
    uint32_t compression = 2;    // the compression box's entry
    bool append = false;
    bool noConfiguration = false; // "不使用捕获配置文件"
    bool boot = false;            // "给该卷加上启动标志"
    QString name;
    QString description;
    QString displayName;
    QString displayDescription;
    QString flags;                // the flags box; its prompt line means none
};

// Fills `task` and starts CaptureWorker on the process's worker thread. An
// append takes the compression of an existing target (AppendCompression).
// False, starting nothing, while another operation runs.
bool StartCapture(OperationTask& task, const CaptureRequest& request);

// The thread routine. Reads TargetPath (the source folder), ImagePath,
// CompressionType, TempPath, the lists, Append, the image texts (ImageName,
// ImageDescription, ImageDisplayName, ImageDisplayDescription, ImageFlags;
// empty ones are not written), Boot and ShowProgress; sets ImageIndex to the
// new image's number; logs each step and leaves the result in Succeeded.
// A new file is written beside the target and takes its name only when the
// capture succeeded: a failed or stopped capture leaves an existing target
// as it was and no partial file. The file being written is never captured
// into itself. Posts Events.callStarted before the capture call,
// Events.stopButtonDone when the work is over.
void CaptureWorker(OperationTask& task);
