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

// Writes the file's XML document (UTF-8 text) into the file's XML resource
// and reopens the WIMStruct. Caller holds file->mutex.
bool StoreXmlDocument(WimFile& file, const std::string& documentUtf8);

// The file's XML document as UTF-8 text, without byte order mark.
bool LoadXmlDocument(WimFile& file, std::string& documentUtf8);

// Sets (or adds) the text of a child element of image `index` in a document.
bool SetImageChildText(std::string& documentUtf8, int index, const std::string& element, const std::string& text);

} // namespace wimgapi
