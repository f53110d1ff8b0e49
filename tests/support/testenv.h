// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The private home every test binary runs in (see testmain.cpp).
QString TestHome();

// A fresh, empty folder below the test home, removed with the home at exit.
QString MakeTestDir(const QString& name);
