// SPDX-License-Identifier: GPL-3.0-or-later
// The width of the running system against the width of this build: the
// shell module of one width serves only a system of the same width.
#pragma once

#include <QString>

// The machine name the kernel reports (uname: "x86_64", "i686", "aarch64").
QString SystemMachine();

// Whether a build of this width serves a system whose machine name is
// `machine`: the 64-bit build serves "x86_64" only, the 32-bit build any
// other machine.
bool BuildMatchesSystemWidth(const QString& machine, bool build64 = sizeof(void*) == 8);
