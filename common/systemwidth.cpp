// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/systemwidth.h"

#include <sys/utsname.h>

QString SystemMachine()
{
    struct utsname name {};
    if (uname(&name) != 0)
        return QString();
    return QString::fromLatin1(name.machine);
}

bool BuildMatchesSystemWidth(const QString& machine, bool build64)
{
    const bool system64 = machine == QStringLiteral("x86_64");
    return build64 == system64;
}
