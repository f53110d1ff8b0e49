// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line operations: one switch as argument 1, its arguments
// after it. Nothing is printed on success; a failure prints one line on
// standard error saying what failed.
#pragma once

#include "app/commandline.h"
#include "common/desktop.h"

#include <QString>
#include <cstdint>

// Exit codes of a command-line run.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailed = 1;       // the operation failed
inline constexpr int kExitWrongArguments = 2;

// "--help", "-h" or "/?" as the only argument prints the switches with an
// example each, "--version" the version, both on standard output; returns
// the exit code (0), or -1 for any other command line.
int PrintHelpOrVersion(const QStringList& args);
QString CommandLineHelpText();

// Runs the command-line switch with index `switchIndex`; returns the process
// exit code (0 success, 1 the operation failed, 2 wrong arguments).
int RunCommandLine(int& argc, char** argv, int switchIndex);

// Whether the switch may show a window ("/ExtrImage", "/CompPath", "/Export"
// and the question of "/UnMount ... /Update"); the program then makes a
// QApplication and registers the dialogs when a display exists.
bool SwitchMayShowWindow(int switchIndex);

// A command-line run prints nothing but its failure line: Qt's own
// diagnostics (a missing runtime folder and the like) are dropped.
void SilenceQtMessages();

// The same over an argument vector already captured (argument 0 is the
// program, argument 1 the switch); `error` receives the failure line.
int RunCommandLineSwitch(const QStringList& args, int switchIndex, QString* error);

// Position of the first argument after argument 0 equal to `text` (letter
// case ignored), or 0.
int FindArgument(const QStringList& args, const QString& text);
// Whether `option` stands at `minimumPosition` or later.
bool HasOption(const QStringList& args, const QString& option, int minimumPosition = 3);

// Whether an argument is one of the option words ("/NotAcl", "/Compress",
// "/Config", "/Boot", "/Commit", "/Update"). Where the command line lets an
// option stand in place of a folder, only these count as options: any other
// text starting with "/" is an absolute path.
bool IsOptionWord(const QString& text);

// Splits "path,selector" at the last comma: returns the selector and leaves
// the path; nothing (and the path unchanged) without a comma.
bool SplitAtLastComma(QString& path, QString& selector);

// An image reference "file[,number|,name]": cuts the selector off `path` and
// returns the image number, 0 without a selector or for a name that no image
// of the file has. A selector that is not a non-zero number is a name, looked
// up exactly with FindImageByName.
uint32_t ParseImageReference(QString& path);
// The same; `unknownName` (when given) receives the selector when it is a
// name that no image of the file has, and is cleared otherwise.
uint32_t ParseImageReference(QString& path, QString* unknownName);

// "/Compress None|Xpress|Lzx|Lzms" at position 3 or later: 0..3; 2 (LZX)
// when it is missing, misplaced or followed by another word.
uint32_t GetCompressOption(const QStringList& args);

