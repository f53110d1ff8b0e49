// SPDX-License-Identifier: GPL-3.0-or-later
// The actions behind the command-line switches (internal to the command line).
#pragma once

#include "common/desktop.h"
#include "imaging/taskdialogs.h"
#include "pages/core/operationtask.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What one action ended with: an exit code and, for a failure, the line that
// says what failed.
struct CliResult {
    int code = 0;
    QString message;

    static CliResult ok() { return {}; }
    static CliResult failed(const QString& what) { return {1, what}; }
    static CliResult wrongArguments(const QString& what) { return {2, what}; }
};

// The unattended operation of one command-line run: the operation's record
// and the switch's arguments.
struct UnattendedTask {
    OperationTask ctx;
    QStringList args;
    int switchIndex = -1;
    CliResult result;
};

// The one record of the command line.
UnattendedTask& CommandLineTask();

// Fills the task record before an operation: temporary folder, paths,
// number, capture configuration ("/Config" file or the built-in one), the
// boot flag; with a window the progress display is on, the gate is set and
// the labels get their prefixes. Returns the compression for a new file: the
// second path's own when it names an existing file, else GetCompressOption.
uint32_t PrepareUnattendedTask(UnattendedTask& task, const QString& imageFile, uint32_t number,
                               const QString& secondPath, bool withWindow);

// Runs `work` for the task: inside the unattended progress dialog when
// `wantWindow` and a display is registered (work(true) on the worker
// thread), else without a window, on the worker thread that the caller waits
// for when `onThread`, or directly. Returns the task's result.
CliResult RunUnattendedWork(UnattendedTask& task, UnattendedStopMode mode, int actionString, bool wantWindow,
                            bool onThread, std::function<void(bool withWindow)> work);

CliResult RunApply(const QStringList& args, int switchIndex);
CliResult RunCapture(const QStringList& args, int switchIndex);
CliResult RunExport(const QStringList& args);
CliResult RunSplit(const QStringList& args);
CliResult RunMount(const QStringList& args, bool readWrite);
CliResult RunRemount(const QStringList& args);
CliResult RunUnmount(const QStringList& args);
CliResult RunCleanUp(const QStringList& args);
CliResult RunExtractPath(const QStringList& args);
CliResult RunAppendPath(const QStringList& args);
CliResult RunIcon(const QStringList& args);
CliResult RunWimTemp(const QStringList& args);
CliResult RunMountPath(const QStringList& args);
CliResult RunShellIntegration(const QStringList& args, bool registering);

// A worker's result: success, "stopped", or the first failing step it
// logged (`fallback` when it logged none).
CliResult WorkerOutcome(const TASKCONTEXT& ctx, bool ok, const QString& fallback);

