// SPDX-License-Identifier: GPL-3.0-or-later
// Text forms of sizes, image times and elapsed time.
#pragma once

#include <QString>
#include <pugixml.hpp>

#include <cstdint>

// "1.5 KB", "0 Byte", "2048 TB": two decimals at most, trailing zeros dropped.
QString FormatByteSize(uint64_t bytes);

// Local "yyyy-MM-dd hh:mm:ss" of a FILETIME (100 ns units since 1601, UTC).
QString FormatFileTime(uint64_t fileTime);

// The time of an element with HIGHPART and LOWPART children (hexadecimal, an
// optional 0x prefix); a missing or unreadable part counts as 0.
QString FormatImageTime(pugi::xml_node element);

// "hh:mm:ss"; hours wrap at 100.
QString FormatElapsed(uint64_t milliseconds);
