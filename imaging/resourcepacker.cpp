// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/resourcepacker.h"

#include <cstdio>

int RunResourcePacker(const QStringList&)
{
    std::fprintf(stderr, "Kestrel: the resource packer is not available in this build\n");
    return 1;
}
