// SPDX-License-Identifier: GPL-3.0-or-later
// The three jobs of the host program, each through the module's interfaces.
#pragma once

#include "shell/module/kestrelshell.h"

// An object of the module asked for one interface; nullptr when it fails.
void* CreateShellObject(const IID& iid);

// --thumbnail SIZE INPUT OUTPUT: the icon of image 1 as a SIZE x SIZE PNG.
// 0 when written; 1 when the file could not be read as an image file or the
// output not written; 2 for wrong arguments.
int RunThumbnailer(int argc, char** argv);

// --menu PATH: the Kestrel menu for PATH at the pointer; the chosen command
// runs. --pick N PATH: the item of language string N, with its dialog.
int RunMenu(int argc, char** argv, bool pickOnly);
