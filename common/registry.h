// SPDX-License-Identifier: GPL-3.0-or-later
// The user's settings file, $XDG_CONFIG_HOME/Kestrel/Kestrel.conf (default
// ~/.config), in the role of the current user's registry. A sub-key names a
// key below HKEY_CURRENT_USER: "Software\Kestrel" is the file's top level,
// any other sub-key a group of the same name ("\" becomes "/").
//
// Values are typed as in the registry: a text value (REG_SZ) is stored as
// written, a number (REG_DWORD) as "dword:XXXXXXXX" in hexadecimal, the way
// .reg files spell it. A value of the other type reads as missing.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

inline constexpr auto kSettingsSubKey = u"Software\\Kestrel";

// Full path of the settings file (not created).
QString SettingsFilePath();

// A text of at most 511 characters, or nothing when the value is missing, is
// a number, or is longer.
std::optional<QString> ReadRegistryText(const QString& subKey, const QString& valueName);

// A number, or nothing when the value is missing or not a number.
std::optional<uint32_t> ReadRegistryNumber(const QString& subKey, const QString& valueName);

// Both return false when the file cannot be written.
bool WriteRegistryText(const QString& subKey, const QString& valueName, const QString& text);
bool WriteRegistryNumber(const QString& subKey, const QString& valueName, uint32_t number);

bool DeleteRegistryValue(const QString& subKey, const QString& valueName);
