// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

enum class PackerResult {
    Done,        // the output file was written
    NothingToDo, // unknown action, missing input file or missing output name
    Failed,      // the input could not be read, packed or unpacked, or the output not written
};

// Runs "<program> LZMA /EnCode in out" or "/DeCode in out" (argument 0 is the
// program). /EnCode writes the "LZMA" container of `in`; /DeCode writes the
// unpacked bytes without the padding. The output is replaced only when the
// whole result is ready, so a failure leaves an existing file untouched.
PackerResult RunPackerCommand(const QStringList& args);

// Run mode 3 of the program: runs the command and returns the exit code:
// 0 done, 2 wrong arguments, 1 failed (with one line on standard error).
int RunResourcePacker(const QStringList& args);
