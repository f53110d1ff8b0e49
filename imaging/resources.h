// SPDX-License-Identifier: GPL-3.0-or-later
// The resources the program carries, packed in "LZMA" containers.
//
// Container layout (little-endian): "LZMA", the unpacked size (u32), the size
// of the LZMA properties (always 5), the five property bytes (5D and the
// dictionary size 0x01000000), then the raw LZMA stream without end marker.
#pragma once

#include <QByteArray>
#include <QString>

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

// Makes the carried language file the built-in language (LoadBuiltInLanguage
// and LoadLanguage take it from there). Called once at start-up.
void UseCarriedLanguage();

// The name of the embedded container of a resource (":/kestrel/carried/...").
QString CarriedResourcePath(CarriedResource which);

inline constexpr qsizetype kContainerHeaderSize = 14;
// The wimlib name table: each entry point's name in a zero-padded slot.
inline constexpr int kWimlibNameSlot = 64;
inline constexpr qsizetype kUnpackedPadding = 16;
// No LZMA stream unpacks to more than this many times its own size.
inline constexpr quint64 kMaxPackingRatio = 16384;

// Unpacks a container of `length` bytes. Returns a null QByteArray when the
// magic is not "LZMA", the unpacked size is 0 or more than kMaxPackingRatio
// times the stream, the container is shorter than 15 bytes, the properties are not 5 bytes, memory runs out, or the stream is
// damaged or too short for the size it claims. On success size() is the
// unpacked size and kUnpackedPadding zero bytes follow it in the buffer (a
// copy that detaches keeps only Qt's one terminating zero).
QByteArray UnpackResource(const char* container, qsizetype length);
QByteArray UnpackResource(const QByteArray& container);

// Packs `size` bytes into a container (level 5, 16 MiB dictionary, lc 3, lp 0,
// pb 2, 32 fast bytes). Returns a null QByteArray for empty input (it could
// never be unpacked), for input of 4 GiB or more, or when the encoder fails.
QByteArray PackResource(const char* data, qsizetype size);
QByteArray PackResource(const QByteArray& data);
