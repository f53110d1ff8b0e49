// SPDX-License-Identifier: GPL-3.0-or-later
// The per-image mount settings are not read in this build yet, so no image
// carries a mount command and a double-click always opens the main window.
#include "app/doubleclickmount.h"

bool HasImageMountCommand(const QString&)
{
    return false;
}

int RunDoubleClickMount(const QString&)
{
    return 0;
}
