// SPDX-License-Identifier: GPL-3.0-or-later
// The set-up the page tests share: settings, the default language, the
// drawing resources and the imaging layer. Real image files come from the
// shared fixture.
#pragma once

#include "support/imagefixture.h"

#include <QString>

// Settings, the default language file, the drawing resources and the
// imaging layer, once per test binary. Empty when all is there, else why the
// imaging layer is missing (tests that need it skip with this reason).
const QString& PageTestSetupProblem();
