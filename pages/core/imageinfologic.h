// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of the image information page that need no window: which of its
// controls may be used, whether the typed texts differ from the image's, and
// the change request made from them.
#pragma once

#include "metadata/imagefileinfo.h"
#include "metadata/imagemetadata.h"

#include <QString>
#include <cstdint>
#include <vector>

// Reads the file's information and one record per image. On failure the
// records are empty and `error` (when given) holds the errno of the failing
// step (EIO when the layer left none).
bool ReadImageFile(const QString& path, WIMFILEINFO& info, std::vector<WIMIMAGEINFO>& images, int* error = nullptr);

// What the enabling rules look at.
struct InfoPageInputs {
    bool fileRead = false;    // the file's information and images were read
    uint16_t totalParts = 0;  // of that file
    uint32_t imageCount = 0;
    uint32_t bootIndex = 0;
    int selectedRow = -1;     // -1: none
};

struct InfoPageEnabling {
    bool view = false;   // "查看映像信息"
    bool fields = false; // the four text fields and the flags box
    bool boot = false;   // "给该卷加上启动标志"
    bool remove = false; // "删除映像分卷"
};

// A split part is shown but never changed; the only image of a file is never
// offered for deletion; the boot mark can only be given, so the image that
// already carries it has its box disabled.
InfoPageEnabling DecideInfoPageEnabling(const InfoPageInputs& in);

// The texts the page's fields hold.
struct ImageEditInputs {
    QString name;
    QString description;
    QString displayName;
    QString displayDescription;
    QString flags;
    bool boot = false;
};

// Number of characters of each field the modified check compares.
inline constexpr int kCompareChars = 256;

// True when a field differs from the image's stored text (exact and
// case-sensitive, over the first kCompareChars characters), the flags text
// differs from the stored flags, or the boot box differs from whether the
// image is the boot image.
bool IsImageModified(const WIMIMAGEINFO& image, bool isBootImage, const ImageEditInputs& in);

// The change request for image `index`: the texts cut to their capacities,
// the flags emptied when they are the flags box's prompt line (case ignored),
// so that the stored flags stay as they are.
IMAGEMETADATAEDIT MakeMetadataEdit(uint32_t index, const ImageEditInputs& in, const QString& flagsPrompt);
