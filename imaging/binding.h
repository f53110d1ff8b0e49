// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Binds the imaging layer and wimlib into ImagingApi and WimlibApi. Returns
// true when an imaging library from disk is loaded (mounting needs one).
bool BindImagingLibraries(const QString& appDir);
