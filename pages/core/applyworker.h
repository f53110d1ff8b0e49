// SPDX-License-Identifier: GPL-3.0-or-later
// Applying (extracting) one image of an image file into a folder: the checks
// before it, the overwrite question, and the worker that runs the imaging
// calls and writes the step log. No widgets: the page answers the question
// and carries out the page events on its own thread.
#pragma once

#include "imaging/taskcontext.h"
#include "metadata/imagefileinfo.h"

#include <QString>
#include <functional>

// What the worker asks the page to do. Each one arrives through the
// context's poster on the GUI thread, in order with the step log; a missing
// function is skipped.
struct ApplyPageEvents {
    // WIMApplyImage is about to run: show the progress display, lock the
    // page and show the stop button in place of the apply button.
    std::function<void()> applyCallStarted;
    // WIMApplyImage has returned: unlock the page.
    std::function<void()> applyCallEnded;
    // The image handle is closed: the apply button is back.
    std::function<void()> stopButtonDone;
    // The apply succeeded and the page asked for the folder to be opened.
    std::function<void(const QString& folder)> openFolder;
    // The worker has ended; true when the apply succeeded.
    std::function<void(bool ok)> finished;
};

// The mount page's apply record: the shared operation record plus the
// choices of the page that only apply reads.
struct ApplyTask : TASKCONTEXT {
    bool ClearSecurity = false;  // "清除文件安全权限": no file or folder ACLs
    bool OpenWhenDone = false;   // "完成后打开目录"
    WIMFILEINFO FileCopy;        // FileInfo points here: the page may load
                                 // another file while the worker still reads it
    ApplyPageEvents Events;
    bool Succeeded = false;      // the result of WIMApplyImage, when the worker ends
};

// The page's choices for one apply.
struct ApplyRequest {
    QString imageFile;
    QString targetFolder;
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

// Creates every missing level of `folder`, then hands it to
// WIMSetTemporaryPath; returns that call's result.
BOOL PrepareTemporaryPath(HANDLE wim, const QString& folder);

// Checks the target, asks `askOverwrite` (true = go on) when the target holds
// entries, fills `task` and starts ApplyWorker on the process's worker
// thread. `prepareInfoBox` runs once the target is known to exist, before the
// question (the page shows and maybe clears its information box).
ApplyStart StartApply(ApplyTask& task, const ApplyRequest& request, const std::function<bool()>& askOverwrite,
                      const std::function<void()>& prepareInfoBox);

// The thread routine: open, attach split parts, register the callback, set
// the temporary folder, load, apply, then undo everything in reverse order,
// logging each step. Never shows anything itself.
void ApplyWorker(ApplyTask& task);

// The flags WIMApplyImage gets: file information always, and no security
// descriptors when the page asks to clear them.
DWORD ApplyFlags(bool clearSecurity);
