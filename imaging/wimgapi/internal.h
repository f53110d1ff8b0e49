// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the API's source files.
#pragma once

#include "handles.h"

#include <string>

namespace wimgapi {

// Initialises wimlib once for the process (UTF-8 paths, no printing).
void EnsureWimlib();

// The file of a file handle, or of the file behind an image handle.
std::shared_ptr<WimFile> FileOf(HANDLE handle);

// Opens a file through wimlib and tells the descriptor wimlib reads it with
// (-1 when it cannot be told), so that the file can be locked as wimlib
// locks it. Returns wimlib's error code.
int OpenWimTracked(const std::string& path, int flags, WIMStruct** wim, int* fd);

// Writes the file's XML document (UTF-8 text) into the file's XML resource
// and reopens the WIMStruct. Caller holds file->mutex and the file's lock,
// which the reopening releases.
bool StoreXmlDocument(WimFile& file, const std::string& documentUtf8);

// The file's XML document as UTF-8 text, without byte order mark.
bool LoadXmlDocument(WimFile& file, std::string& documentUtf8);

// Replaces the IMAGE element of image `index` in a document by `element`
// (its INDEX attribute set to `index`); false (EINVAL) when there is none.
bool ReplaceImageElement(std::string& documentUtf8, int index, const std::string& element);

// `element` (an IMAGE element) with its INDEX attribute set to `index`.
std::string WithImageIndex(const std::string& element, int index);

// The IMAGE element of one image as callers see it, pending images included.
bool ImageElementText(WimFile& file, int index, std::string& element);

// Sets (or adds) the text of a child element of image `index` in a document.
bool SetImageChildText(std::string& documentUtf8, int index, const std::string& element, const std::string& text);

} // namespace wimgapi
