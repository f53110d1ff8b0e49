// SPDX-License-Identifier: GPL-3.0-or-later
// Placeholder until the imaging libraries are bound: both tables stay empty,
// so every operation that needs them does nothing.
#include "imaging/binding.h"
#include "imaging/imagingapi.h"

ImagingApiTable ImagingApi;
WimlibApiTable WimlibApi;

bool BindImagingLibraries(const QString&)
{
    return false;
}
