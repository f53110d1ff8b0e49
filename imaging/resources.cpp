// SPDX-License-Identifier: GPL-3.0-or-later
// Placeholder until resources are carried: nothing can be unpacked.
#include "imaging/resources.h"

QByteArray UnpackCarriedResource(CarriedResource)
{
    return QByteArray();
}
