// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Fixed text buffers of the design: paths and names hold 511 characters plus
// the terminator, small texts 127.
inline constexpr int kPathUnits = 512;
inline constexpr int kSmallUnits = 128;

// Blanks and tabs are the only characters trimmed from the ends of texts.
QString TrimBlanks(const QString& text);
QString TrimBlanksEnd(const QString& text);
QString TrimBlanksStart(const QString& text);

// Cuts text so that it fits a buffer of `units` UTF-16 units with its
// terminator (at most units - 1 characters).
QString CutToUnits(const QString& text, int units);

// Copies text into a fixed char16_t buffer of `units` units, cut to fit and
// always terminated.
void CopyToUnits(char16_t* buffer, int units, const QString& text);

// The text as the imaging layer takes it: UTF-16, zero-terminated, valid as
// long as `text` is neither changed nor destroyed.
inline const char16_t* Utf16(const QString& text)
{
    return reinterpret_cast<const char16_t*>(text.utf16());
}

// Reads a zero-terminated char16_t text of at most `units` units.
QString FromUnits(const char16_t* buffer, int units);
