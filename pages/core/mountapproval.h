// SPDX-License-Identifier: GPL-3.0-or-later
// The user's consent to the commands an image file carries. A double-click
// runs a file's stored commands only after the user approved exactly this
// pair: this file and this command text. Approvals live in the settings
// file, group "Software\Kestrel\ApprovedMountCommands": one value per file,
// named by the SHA-256 of the file's canonical path and holding the SHA-256
// of its mount and unmount commands, so that a changed command (or another
// file) asks again.
#pragma once

#include <QString>

// The group (registry sub-key) that holds the approvals.
inline constexpr auto kApprovedCommandsSubKey = u"Software\\Kestrel\\ApprovedMountCommands";

// Whether the user approved these commands for this file.
bool IsMountCommandApproved(const QString& imageFile, const QString& mountCommand, const QString& unmountCommand);

// Remembers the approval; it replaces an earlier one of the same file.
// False when the settings file cannot be written.
bool ApproveMountCommand(const QString& imageFile, const QString& mountCommand, const QString& unmountCommand);
