// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Expands %NAME% references with the process environment. A name that is not
// defined, an empty name ("%%") and a lone "%" stay exactly as written, so a
// stored path or command survives a machine where the variable is missing.
QString ExpandEnvironmentText(const QString& text);

// Sets NAME to value in the process environment; an empty value removes it.
void SetEnvironmentText(const QString& name, const QString& value);
