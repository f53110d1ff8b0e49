// SPDX-License-Identifier: GPL-3.0-or-later
// The lines the information boxes of the pages show for a file and an image.
#pragma once

#include "metadata/imagefileinfo.h"

#include <QStringList>

#include <span>

// The file summary; the box shows it alone (the caller clears the box first).
QStringList ShowImageFileSummary(const WIMFILEINFO& file);

// The lines of image `index` (from 1), appended below what the box holds;
// index 0 gives the file summary instead (shown in a cleared box). An index
// beyond images gives no lines. withCounts adds the file and folder counts.
QStringList ShowImageDetails(const WIMFILEINFO& file, std::span<const WIMIMAGEINFO> images, uint32_t index,
                             bool withCounts);
