// SPDX-License-Identifier: GPL-3.0-or-later
// The per-file mount settings kept in the private element KESTREL of the
// XML of image 1, and the removal of that element from exported images.
#pragma once

#include "imaging/imagingapi.h"

#include <QString>
#include <pugixml.hpp>

#include <cstdint>

inline constexpr char kPrivateElement[] = "KESTREL";

struct MOUNTSETTINGS {
    uint32_t MountId = 1;
    uint32_t MountRW = 0;
    uint32_t AutoUnmount = 0;
    uint32_t Commit = 0;
    uint32_t ClearDir = 0;
    QString MountRunCmd;   // 512 units
    QString UnmountRunCmd; // 512 units
    QString MountPath;     // 512 units
    uint32_t MountedIndex = 0;
};

// The settings stored in the KESTREL child of an IMAGE element. Attributes
// and children may come in any order; flags read as pugixml's as_bool ("1",
// "true", "Yes" are on). MOUNTID is 1 when missing or negative and at most
// imageCount. Texts are taken only when not empty, cut to 511 characters.
void ReadMountElement(pugi::xml_node image, uint32_t imageCount, MOUNTSETTINGS& settings);

// Finds or appends KESTREL and sets the five attributes and three children.
bool WriteMountElement(pugi::xml_node image, const MOUNTSETTINGS& settings);

// Removes the mount attributes and children; KESTREL and its ICON stay.
// False when there is no KESTREL element.
bool ClearMountElement(pugi::xml_node image);

// Number of the image of this file that is mounted now, 0 when none is.
uint32_t MountedImageIndex(const QString& path);

// Reads the settings of the file (MountedIndex included) and returns
// MountId; a file without settings or that cannot be read gives 1.
uint32_t ReadMountSettings(const QString& path, MOUNTSETTINGS& settings);

// Stores the settings in image 1; false when the file cannot be changed.
// `tempFolder` is the working folder of the change (empty: the system's).
bool WriteMountSettings(const QString& path, const MOUNTSETTINGS& settings, const QString& tempFolder = QString());

// Removes the settings from image 1, keeping the icon. True also when the
// file carries no private element.
bool ClearMountSettings(const QString& path, const QString& tempFolder = QString());

// Removes KESTREL from the last image of an open target file (after an
// export added it). True when that image carries no element afterwards.
bool StripPrivateElement(HANDLE wim);
