// SPDX-License-Identifier: GPL-3.0-or-later
// UTF-16 <-> UTF-8 conversion for the C interface, without any framework.
#pragma once

#include <cstddef>
#include <string>

namespace wimgapi {

// Converts a zero-terminated UTF-16 text; unpaired surrogates become U+FFFD.
std::string ToUtf8(const char16_t* text);
std::string ToUtf8(const char16_t* text, size_t units);
std::u16string ToUtf16(const std::string& text);

// Copies text into a fixed buffer of `units` units, always terminated; a text
// that does not fit is cut at a character boundary.
void CopyUnits(char16_t* buffer, size_t units, const std::u16string& text);

} // namespace wimgapi
