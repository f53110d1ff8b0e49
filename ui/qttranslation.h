// SPDX-License-Identifier: GPL-3.0-or-later
// Qt's own texts (the standard buttons of message boxes, the file and folder
// dialogs) in the interface's language.
#pragma once

#include <QString>

// Installs Qt's translation for the locale the current language file names
// (InterfaceLocale), replacing the one installed before; none for English
// or a language Qt has no translation for. Needs the application object.
// Returns the file name loaded, or an empty text.
QString InstallQtTranslation();
