// SPDX-License-Identifier: GPL-3.0-or-later
// Small pugixml operations that every change of image XML is made of, and the
// conversion between pugixml documents and the layer's UTF-16 texts.
#pragma once

#include <QString>
#include <pugixml.hpp>

#include <cstddef>
#include <cstdint>

// Sets the text of the first child element `name` of node, appending the
// element and its text node when missing. False when nothing could be added.
bool SetChildText(pugi::xml_node node, const char* name, const QString& text);

// Sets the first attribute `name` to a decimal integer, appending it when
// missing.
bool SetAttributeNumber(pugi::xml_node node, const char* name, long long value);

// Removes the first child element / attribute with exactly this name;
// reports whether one was removed.
bool RemoveChild(pugi::xml_node node, const char* name);
bool RemoveAttribute(pugi::xml_node node, const char* name);

// The text of the first child element `name` (its first PCDATA or CDATA),
// as pugixml's child_value gives it.
QString ChildText(pugi::xml_node node, const char* name);

// The document as UTF-16 text: declaration, one element a line, no
// indentation, no byte order mark.
QString XmlToText(const pugi::xml_document& document);

// Parses UTF-16 text as the layer returns it (with or without a byte order
// mark). Only the units before the first zero within `bytes` are read.
bool ParseLayerXml(pugi::xml_document& document, const void* text, size_t bytes);

// Reads leading decimal digits (after blanks); 0 when there are none, the
// largest value when the number does not fit.
uint64_t ParseDecimal(const char* text);
