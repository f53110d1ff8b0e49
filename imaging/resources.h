// SPDX-License-Identifier: GPL-3.0-or-later
// The resources the program carries, packed in "LZMA" containers.
#pragma once

#include <QByteArray>

enum class CarriedResource {
    WimlibModule,
    ImagingLayer,
    WimlibNames,
    DefaultLanguage,
    DefaultHelp,
    Picture,   // 160 x 160 PNG
    Banner,    // 419 x 43 PNG
    ButtonA,   // 32 x 31 PNG
    ButtonB,   // 32 x 31 PNG
    Animation, // 160 x 160 GIF
};

// The unpacked bytes of a carried resource; the buffer holds 16 zero bytes
// beyond size() so that a text resource is terminated for any character
// width. Empty when the resource is missing or cannot be unpacked.
QByteArray UnpackCarriedResource(CarriedResource which);
