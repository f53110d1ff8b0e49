// SPDX-License-Identifier: GPL-3.0-or-later
// The process-wide user settings, read once at start-up.
#pragma once

#include <QString>
#include <cstdint>

struct Settings {
    // The six flags, in their stored order; any non-zero value counts as set.
    uint32_t autoOpenPath = 1;         // "AutoOpenPath"
    uint32_t dblClickUnMountAll = 1;   // "DblClickUnMountAll"
    uint32_t dblClickUnMountImage = 1; // "DblClickUnMountImage"
    uint32_t unMountAutoRunCmd = 1;    // "UnMountAutoRunCmd"
    uint32_t dblClickOpenDir = 1;      // "DblClickOpenDir"
    uint32_t clearHint = 1;            // "ClearHint"
    QString autoMountPath;             // "AutoMountPath", environment expanded
    QString wimTempPath;               // "WimTempPath", environment expanded
    QString language;                  // "Language", base name of Languages/<name>.INI
    uint32_t compressType = 3;         // "CompressType": [Compress_Type] index + 1, at most 4
};

// The record every page reads, and the system temporary path ("/tmp/").
Settings& AppSettings();
const QString& SystemTempPath();

// The system temporary folder with its trailing "/".
QString SystemTempFolder();

void ResetSettingsToDefaults(const QString& appDir);
void LoadSettings(const QString& appDir);

// Returns the stored number, or the default on any failure.
uint32_t ReadSettingNumber(const QString& valueName, uint32_t defaultValue);
void WriteSettingNumber(const QString& valueName, uint32_t number);
void DeleteSetting(const QString& valueName);

// Writes the whole record (the settings page fills it), creates the automatic
// mount base folder, and makes it the process's record. Write failures are
// ignored: each value is written on its own.
void SaveSettings(const Settings& values);
