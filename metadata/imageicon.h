// SPDX-License-Identifier: GPL-3.0-or-later
// The icon an image file carries for the desktop: a PNG in the ICON child
// of the private element of image 1, in the text form of iconcodec.h.
#pragma once

#include "imaging/imagingapi.h"

#include <QImage>
#include <QString>

#include <cstdint>

struct IMAGEICON {
    QImage Large;         // at the asked large size; null when not asked or none stored
    QImage Small;         // at the asked small size
    uint16_t Width = 0;   // pixel width of the stored PNG
    bool Found = false;   // an ICON element exists, even an empty one
};

// Reason codes of WriteImageIcon / DeleteImageIcon; 0 is success.
enum IconResult : int {
    kIconOk = 0,
    kIconNoXml = 1,        // the XML of image 1 could not be read
    kIconNoImage = 2,      // it has no IMAGE element
    kIconNoPrivate = 4,    // delete: no KESTREL element (write: it could not be added)
    kIconNoIcon = 8,       // delete: no ICON element (write: it could not be added)
    kIconNotStored = 16,   // the XML could not be stored
    kIconNotOpened = 32,   // the file could not be opened for a change, its
                           // temporary folder set or image 1 loaded
};

// The stored icon at the two sizes (0 = not wanted), scaled smoothly when
// the stored width differs. An icon text that does not decode, or bytes that
// are no picture, give Found with null images.
IMAGEICON ReadImageIcon(const QString& path, int largeSize, int smallSize);

// Sets or removes the icon of a loaded image 1 (the icon page opens and
// loads itself so that it can log each step). Results as IconResult.
int WriteImageIconXml(HANDLE image, const QString& encodedText);
int DeleteImageIconXml(HANDLE image);

// The same, opening the file for a change and loading image 1 first.
// `tempFolder` is the working folder of the change (empty: the system's).
int WriteImageIcon(const QString& path, const QString& encodedText, const QString& tempFolder = QString());
int DeleteImageIcon(const QString& path, const QString& tempFolder = QString());
