// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Runs a mount or unmount command: expands %NAME% references, takes the
// program (quoted, or up to the first blank) and its parameters, sets
// "CurrDir" to the program's folder (a relative one is taken below
// `baseDirectory`) and starts the program from the current directory.
// A program that is not executable is opened with its desktop handler
// (xdg-open). With `waitForExit` the call returns once the program ended.
// Returns whether a program was started; an empty command starts nothing.
bool RunCommandInDirectory(const QString& command, const QString& baseDirectory, bool waitForExit);

// The pieces of a command, as RunCommandInDirectory splits it.
struct CommandParts {
    QString program;
    QString parameters;
    QString workingDirectory; // the "CurrDir" text
};
CommandParts SplitCommand(const QString& expandedCommand, const QString& baseDirectory);
