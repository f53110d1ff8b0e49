// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own pictures that are drawn rather than carried: its icon,
// and the icon of an image file that holds none of its own (file managers
// and the desktop's icon theme show it).
#pragma once

#include <QImage>

QImage DrawProgramIcon(int size);
QImage DrawImageFileIcon(int size);
