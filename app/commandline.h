// SPDX-License-Identifier: GPL-3.0-or-later
// The process's command line, captured once at start-up, and the run mode
// decided from it.
#pragma once

#include "common/appdirectory.h"

#include <QString>
#include <QStringList>
#include <cstdint>

struct CommandLine {
    QString tail;     // arguments after argument 0, rejoined (1,023 characters at most)
    QStringList args; // argument 0 is the program, each argument environment expanded
    int count() const { return int(args.size()); }
    QString arg(int i) const { return i >= 0 && i < args.size() ? args.at(i) : QString(); }
};

enum RunModeCode : int32_t {
    kModeMainWindow = 0,
    kModeCommandLine = 1,
    kModeDoubleClickMount = 2,
    kModeResourcePacker = 3,
    kModeMainWindowWithFile = 4,
};

// The sub-code that, with mode 0, means: the main window with the page of
// "/Page"; with mode 4: the main window with the file of "/OpenFile".
inline constexpr int32_t kSubCodeFilePage = 14;

struct RunMode {
    int32_t mode = kModeMainWindow;
    int32_t subCode = 0;
    bool operator==(const RunMode&) const = default;
};

// Builds the record from argv: every argument is expanded (%NAME%) and cut to
// 1,023 characters; the tail quotes each argument that holds a blank.
CommandLine MakeCommandLine(int argc, const char* const* argv);

// The process-wide record, set once by CaptureCommandLine.
const CommandLine& GetCommandLine();
void CaptureCommandLine(int argc, const char* const* argv);


// The run-mode decision. `isExistingFile` is whether argument 1 names an
// existing file, `hasMountCommand` whether that file's mount settings hold a
// mount command.
RunMode DecideRunMode(const QStringList& args, bool isExistingFile, bool hasMountCommand);
