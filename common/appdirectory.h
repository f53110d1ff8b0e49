// SPDX-License-Identifier: GPL-3.0-or-later
// The folder of the running program, which language files and the imaging
// layer are looked up beside.
#pragma once

#include <QString>

// The folder of the running program ("/opt/kestrel/x64"). It comes from the
// executable itself rather than argument 0, which on Linux is often a bare
// name found through PATH. Published as "AppPath".
QString ApplicationDirectory();
void SetApplicationDirectory(const QString& dir);
