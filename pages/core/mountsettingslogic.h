// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of the mount settings page that need no window: when a file's
// settings may be changed, and whether the controls differ from what the
// file stores.
#pragma once

#include "metadata/mountsettings.h"

#include <cstdint>

// A file's settings may be changed when it exists, is not split and none of
// its images is mounted now.
bool IsMountSettingsEditable(bool fileExists, uint16_t totalParts, uint32_t mountedIndex);

// Whether the edited settings differ from the stored ones: the image number,
// the four flags, or the folder and the two commands (those three compared
// ignoring case).
bool MountSettingsDiffer(const MOUNTSETTINGS& stored, const MOUNTSETTINGS& edited);

// Whether the file stores anything worth clearing: a text or a flag.
bool HasMountSettings(const MOUNTSETTINGS& stored);
