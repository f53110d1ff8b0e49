// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/commandline.h"

// Runs the command-line switch with index `switchIndex`; returns the process
// exit code (0 success, 1 the operation failed, 2 wrong arguments).
int RunCommandLine(int& argc, char** argv, int switchIndex);
