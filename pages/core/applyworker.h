// SPDX-License-Identifier: GPL-3.0-or-later
// Applying (extracting) one image of an image file into a folder: the checks
// before it, the overwrite question, and the worker that runs the imaging
// calls and writes the step log, for the page and the command line alike.
// No widgets: the page answers the question and carries out the events on
// its own thread.
#pragma once

#include "pages/core/operationtask.h"

#include <QString>
#include <functional>

// The page's choices for one apply.
struct ApplyRequest {
    QString imageFile;
    QString targetFolder;
    QString tempFolder;          // the settings' temporary working folder
    uint32_t imageIndex = 1;
    WIMFILEINFO fileInfo;        // of imageFile, as the page read it
    bool noConfiguration = false; // "不使用配置文件"
    bool clearSecurity = false;
    bool openWhenDone = false;
};

enum class ApplyStart {
    NotStarted, // the target is not an existing folder, or a worker runs
    Declined,   // the user kept the non-empty target folder as it is
    Started,
};

// Checks the target, asks `askOverwrite` (true = go on) when the target holds
// entries, fills `task` and starts ApplyWorker on the process's worker
// thread. `prepareInfoBox` runs once the target is known to exist, before the
// question (the page shows and maybe clears its information box).
ApplyStart StartApply(OperationTask& task, const ApplyRequest& request, const std::function<bool()>& askOverwrite,
                      const std::function<void()>& prepareInfoBox);

// The thread routine: open, attach split parts, register the callback, set
// the temporary folder, load, apply, then undo everything in reverse order,
// logging each step. Reads ImagePath, TargetPath, TempPath, ImageIndex,
// FileInfo, the lists, ShowProgress, CreateTarget, ClearSecurity and
// OpenWhenDone; leaves the result in Succeeded. Never shows anything itself.
void ApplyWorker(OperationTask& task);

// The flags WIMApplyImage gets: file information always, and no security
// descriptors when the page asks to clear them.
DWORD ApplyFlags(bool clearSecurity);
