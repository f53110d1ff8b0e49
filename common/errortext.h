// SPDX-License-Identifier: GPL-3.0-or-later
// The text of an errno value in the interface's language, for the step log
// and the command line's failure line alike.
#pragma once

#include <QByteArray>
#include <QString>

// Empty for 0. ENOEXEC (what the imaging layer reports for a file that is
// no image file, or a damaged one) gets the language file's own text. Any
// other value gets the C library's message in the language the language
// file names as its locale (language string 371, "zh_CN" for the built-in
// one), read from the system's translation of the C library; where the
// system has none, the message's own English words.
QString ErrnoText(int error);

// The C library's own message for `error`, whatever the process locale.
QByteArray ErrnoMessageC(int error);

// The translation of `message` in a gettext catalogue (a .mo file's bytes);
// empty when the catalogue lacks it or is malformed.
QString LookUpCatalogue(const QByteArray& catalogue, const QByteArray& message);
