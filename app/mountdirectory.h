// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Makes a fresh folder "Wim" + up to four hexadecimal digits + ".tmp" in
// `base` (created with its parents) and returns its path in `out`. Gives up
// and returns false when the base cannot be written to or every name is
// taken, instead of trying forever.
bool CreateUniqueMountDirectory(const QString& base, QString& out);
