// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/commandline.h"

// Opens the main window with the page chosen by `mode` and runs the message
// loop; returns the exit code.
int RunMainWindow(int& argc, char** argv, RunMode mode);
