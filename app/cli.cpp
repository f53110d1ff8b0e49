// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/cli.h"

#include "app/switches.h"

#include <cstdio>

int RunCommandLine(int&, char**, int switchIndex)
{
    std::fprintf(stderr, "Kestrel: the command-line switch %s is not available in this build\n",
                 QString::fromUtf16(kSwitchNames[switchIndex]).toLocal8Bit().constData());
    return 1;
}
