// SPDX-License-Identifier: GPL-3.0-or-later
// The two small dialogs of long operations, as the engine sees them. The
// widgets live in ui/; the program registers them at start-up when a display
// exists. Without a registration the same work runs without a dialog and
// nothing waits for a click.
#pragma once

#include "imaging/taskcontext.h"

#include <QObject>
#include <QString>
#include <functional>

struct WIMLIBTASK;

// How the unattended progress dialog stops its operation when its cancel
// label is clicked.
enum class UnattendedStopMode {
    Apply = 1,   // AskStop with OK/Cancel; OK asks the operation to stop
    Capture = 2, // three-way: safe stop, forced stop, continue
    Export = 3,  // Retry ("强行终止") / Cancel ("返回继续")
};

struct UnattendedRun {
    QString actionText; // language string 246, 247 or 294
    UnattendedStopMode stopMode = UnattendedStopMode::Apply;
    TASKCONTEXT* ctx = nullptr; // the dialog fills in its windows and poster
    // The worker, started on TaskWorker() once the dialog shows; the dialog
    // closes when it returns.
    std::function<void()> work;
};

// What the dialog's end was.
enum class UnattendedEnd {
    Finished,   // the worker returned
    ForcedStop, // the user chose a forced stop; the worker is abandoned
};

class TaskDialogs {
public:
    virtual ~TaskDialogs() = default;
    // Modal; returns when the worker ended or was abandoned.
    virtual UnattendedEnd runUnattended(UnattendedRun& run) = 0;
    // Modal progress dialog of one wimlib task (see RunWimlibTask).
    virtual int runWimlibTask(QObject* parent, WIMLIBTASK& task) = 0;
    // A Yes/No question box with the question icon; true for Yes.
    virtual bool askYesNo(const QString& caption, const QString& text) = 0;
};

// The program calls this once, with a display; null removes the dialogs.
void RegisterTaskDialogs(TaskDialogs* dialogs);
TaskDialogs* RegisteredTaskDialogs();
