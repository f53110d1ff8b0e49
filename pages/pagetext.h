// SPDX-License-Identifier: GPL-3.0-or-later
// The short name the page widgets use for their texts.
#pragma once

#include "common/language.h"

// Language string n of the current language (GetLanguageString).
inline QString L(int n)
{
    return GetLanguageString(n);
}
