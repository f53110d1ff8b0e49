// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop the program runs on: whether windows can be shown, and opening
// a folder with the desktop's file manager.
#pragma once

#include <QString>

// Whether a user can see windows: an X11 or Wayland display, and Qt not
// forced to an off-screen platform. With `platformChosen`, a platform chosen
// on purpose (offscreen, for screenshots and tests) counts as well: the
// window can then be made, though nobody sees it.
bool DisplayAvailable(bool platformChosen = false);

// Opens a folder with the desktop's handler (xdg-open). False when there is
// no display or no handler, so that the caller can say so.
bool OpenFolderInShell(const QString& folder);
