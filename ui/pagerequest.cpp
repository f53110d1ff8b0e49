// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pagerequest.h"

#include "common/inisection.h"
#include "metadata/imagefileinfo.h"
#include "ui/pageframework.h"

#include <algorithm>

PageRequest ChooseFirstPage(const RunMode& mode, const CommandLine& cmd, const ImageNameLookup& lookup)
{
    PageRequest request;
    if (mode.mode == kModeMainWindowWithFile && mode.subCode == kSubCodeFilePage) {
        request.page = kPageInfo;
        request.path = cmd.arg(1);
        return request;
    }
    if (mode.mode != kModeMainWindow || mode.subCode != kSubCodeFilePage || cmd.count() < 3)
        return request;

    const QString text = cmd.arg(2);
    const qsizetype comma = text.lastIndexOf(u',');
    if (comma < 0) {
        request.path = text;
        return request;
    }
    request.path = text.left(comma);
    const QString reference = text.mid(comma + 1);
    long long number = IniKeyNumber(reference);
    if (number == 0 && !reference.isEmpty())
        number = lookup ? lookup(request.path, reference) : FindImageByName(request.path, reference);
    request.page = int(std::clamp<long long>(number - 1, 0, kPageCount - 1));
    return request;
}
