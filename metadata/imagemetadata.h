// SPDX-License-Identifier: GPL-3.0-or-later
// Editing the standard texts of one image (the information page's request).
#pragma once

#include <QString>
#include <pugixml.hpp>

#include <cstdint>

struct IMAGEMETADATAEDIT {
    QString Name;               // 512 units; empty leaves NAME as it is
    QString Description;        // 512
    QString DisplayName;        // 512
    QString DisplayDescription; // 512
    QString Flags;              // 128
    uint32_t ImageIndex = 0;    // from 1
    uint32_t SetBoot = 0;       // also make this image the bootable one
};

// Sets the non-empty texts of the request in an IMAGE element; never removes
// or empties an element. Texts are cut to their capacity.
bool ApplyMetadataEdit(pugi::xml_node image, const IMAGEMETADATAEDIT& edit);

// Changes image edit.ImageIndex of the file and, when asked, makes it the
// boot image. True when everything asked was stored.
// `tempFolder` is the working folder of the change (empty: the system's).
bool SetImageMetadata(const QString& path, const IMAGEMETADATAEDIT& edit, const QString& tempFolder = QString());
