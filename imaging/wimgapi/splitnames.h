// SPDX-License-Identifier: GPL-3.0-or-later
// The names of the parts of a split set, as wimlib writes them: the part
// number goes before the last dot of the first part's file name ("set.swm",
// "set2.swm"), or at the end of a name without one ("parts", "parts2").
#pragma once

#include <string>

namespace wimgapi {

std::string SplitPartPath(const std::string& firstPart, unsigned part);

// The first part's name from the name of part `part`; empty when the name
// does not end in that number.
std::string FirstSplitPartPath(const std::string& partPath, unsigned part);

} // namespace wimgapi
