// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Builds the language and capture-configuration tables from the selected
// language file, or the built-in one.
void LoadLanguage();

// Language string n of the current language file; empty when it has none.
QString GetLanguageString(int n);
