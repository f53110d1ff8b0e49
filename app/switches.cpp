// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/switches.h"

const std::array<const char16_t*, kSwitchCount> kSwitchNames = {
    u"/Mount",    u"/MountRW", u"/ReMount", u"/UnMount",  u"/CleanUp",  u"/Apply",    u"/ExtrImage",
    u"/Capture",  u"/CompPath", u"/Append", u"/Register", u"/Unload",   u"/Export",   u"/Split",
    u"/Page",     u"/Icon",    u"/WimTemp", u"/MountPath", u"/ExtrPath", u"/AppenPath",
};

int LookupSwitch(const QString& text)
{
    for (int i = 0; i < kSwitchCount; ++i) {
        if (text.compare(QString::fromUtf16(kSwitchNames[i]), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}
