// SPDX-License-Identifier: GPL-3.0-or-later
// A small scanner over XML text that finds elements and their extents without
// rebuilding the text, so that whatever a caller stored (unknown elements,
// attributes, empty elements) is kept byte for byte.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wimgapi {

struct XmlElement {
    std::string name;
    size_t begin = 0;     // at '<'
    size_t openEnd = 0;   // just past the '>' of the start tag
    size_t closeBegin = 0; // at the '<' of the end tag (openEnd for <x/>)
    size_t end = 0;       // just past the element
};

// The elements directly inside [from, to) of text; nullopt when that range is
// not well formed (unbalanced tags, unterminated markup).
std::optional<std::vector<XmlElement>> ScanElements(std::string_view text, size_t from, size_t to);

// The value of an attribute of a start tag, or nullopt.
std::optional<std::string> AttributeValue(std::string_view startTag, std::string_view name);

// True when every '&' outside comments and CDATA starts a valid reference, so
// that a stricter parser accepts the text too.
bool ValidReferences(std::string_view text);

std::string EscapeXmlText(std::string_view text);

} // namespace wimgapi
