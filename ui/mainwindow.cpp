// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/mainwindow.h"

#include <cstdio>

int RunMainWindow(int&, char**, RunMode)
{
    std::fprintf(stderr, "Kestrel: the main window is not available in this build\n");
    return 1;
}
