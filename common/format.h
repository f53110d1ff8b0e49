// SPDX-License-Identifier: GPL-3.0-or-later
// Text forms of sizes, file times and elapsed time.
#pragma once

#include <QString>

#include <cstdint>

// "1.5 KB", "0 Byte", "2048 TB": two decimals at most, trailing zeros dropped.
QString FormatByteSize(uint64_t bytes);

// Local "yyyy-MM-dd hh:mm:ss" of a FILETIME (100 ns units since 1601, UTC).
QString FormatFileTime(uint64_t fileTime);

// "hh:mm:ss"; hours wrap at 100.
QString FormatElapsed(uint64_t milliseconds);
