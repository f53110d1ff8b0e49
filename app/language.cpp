// SPDX-License-Identifier: GPL-3.0-or-later
// Placeholder until the language files are built: no strings are loaded, so
// every lookup answers with an empty text.
#include "app/language.h"

void LoadLanguage() {}

QString GetLanguageString(int)
{
    return QString();
}
