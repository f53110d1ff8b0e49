// SPDX-License-Identifier: GPL-3.0-or-later
// The XML of an image that exists only in memory (captured or exported, not
// yet written). wimlib keeps such an image's information in its own document,
// which it offers only property by property; the layer shows callers an
// IMAGE element made of those properties and turns the element a caller gives
// back into property changes, so that the image, its name and its other
// information reach the file in one write.
#pragma once

#include <wimlib.h>

#include <string>

namespace wimgapi {

// The IMAGE element of a freshly captured image, from wimlib's properties.
std::string CapturedImageElement(const WIMStruct* wim, int index);

// Makes wimlib's properties of image `index` match `given` (an IMAGE
// element), starting from `current` (the element as callers last saw it).
// Returns false when `given` holds what properties cannot express
// (attributes below IMAGE, empty elements, comments) or wimlib refused a
// value (a name another image has); the caller then stores the element
// itself after the image is written.
bool ApplyImageElement(WIMStruct* wim, int index, const std::string& current, const std::string& given);

} // namespace wimgapi
