// SPDX-License-Identifier: GPL-3.0-or-later
// What an image file holds: the file's attributes and the per-image texts of
// its XML, in the records the pages print; and the ways of opening a file.
#pragma once

#include "imaging/imagingapi.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <span>

// Capacities of the text fields in UTF-16 units with the terminator; longer
// texts are cut to capacity - 1 characters.
inline constexpr int kInfoPathUnits = 512;
inline constexpr int kInfoSmallUnits = 128;

struct WIMFILEINFO {
    QString Path;          // 512 units
    uint32_t BootIndex = 0;
    uint16_t PartNumber = 0;
    uint16_t TotalParts = 0;
    uint32_t ImageCount = 0;
    uint32_t CompressionType = 0;
    uint64_t TotalBytes = 0;
};

// Entry k describes image k + 1. Texts of 128 units unless marked 512.
struct WIMIMAGEINFO {
    QString DirCountText;
    QString FileCountText;
    QString SizeText;
    QString CreationTimeText;
    QString ModificationTimeText;
    QString ArchText;           // 512
    QString VersionText;
    QString DefaultLanguage;
    QString Name;               // 512
    QString Description;        // 512
    QString DisplayName;        // 512
    QString DisplayDescription; // 512
    QString Flags;
    uint32_t FileCount = 0;
    uint32_t DirCount = 0;
};

// The attribute block of an open file, nothing when the layer refuses.
std::optional<WIM_INFO> GetImageFileAttributes(HANDLE wim);

// Resets info and fills it from the attributes; returns the image count, 0
// when the file cannot be opened or its attributes read. TotalBytes stays 0.
uint32_t GetImageFileInfo(const QString& path, WIMFILEINFO& info);

// Reads the file's XML into info.TotalBytes and images, matched by INDEX.
// images is sized by the caller (usually info.ImageCount, default-filled);
// IMAGE elements without a usable INDEX or beyond its end are skipped.
// False when the file or its XML cannot be read or has no WIM element.
bool ReadImageInfo(const QString& path, WIMFILEINFO& info, std::span<WIMIMAGEINFO> images);

// The same over XML text already in memory (UTF-16LE, optional byte order mark).
bool ParseImageInfoXml(const void* text, size_t bytes, WIMFILEINFO& info, std::span<WIMIMAGEINFO> images);

// The file's compression type; 2 (LZX) when it cannot be read.
uint32_t GetImageFileCompression(const QString& path);

// Number of the first image whose name is exactly name; 0 when none is or
// the file cannot be read.
uint32_t FindImageByName(const QString& path, const QString& name);
