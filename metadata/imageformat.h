// SPDX-License-Identifier: GPL-3.0-or-later
// The text form of an image time; sizes and elapsed time are in common/format.h.
#pragma once

#include "common/format.h"

#include <QString>
#include <pugixml.hpp>

#include <cstdint>

// The time of an element with HIGHPART and LOWPART children (hexadecimal, an
// optional 0x prefix); a missing or unreadable part counts as 0.
QString FormatImageTime(pugi::xml_node element);
