// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

// "Kestrel LZMA /EnCode in out" and "/DeCode": returns the exit code.
int RunResourcePacker(const QStringList& args);
