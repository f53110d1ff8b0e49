// SPDX-License-Identifier: GPL-3.0-or-later
// Which page the main window opens with, and which path it fills in.
#pragma once

#include "app/commandline.h"

#include <QString>

#include <functional>

struct PageRequest {
    int page = 0;  // 0 .. 8
    QString path;  // the file or folder named on the command line, or empty
};

// Looks an image name up in a file; the number from 1, or 0.
using ImageNameLookup = std::function<uint32_t(const QString& path, const QString& name)>;

// "/Page path,N" (mode 0, sub-code 14): argument 2 is the path, the text
// after its last comma a page number or an image name (looked up in the file)
// giving the page number; page N is index N - 1, kept within the nine pages.
// A file opened from the file manager (mode 4): argument 1, the fourth page.
// Anything else: the first page and no path. Without a lookup the metadata
// reader's FindImageByName is used.
PageRequest ChooseFirstPage(const RunMode& mode, const CommandLine& cmd, const ImageNameLookup& lookup = {});
