// SPDX-License-Identifier: GPL-3.0-or-later
// The text form of the icon kept in an image file's private element: four
// characters for every three bytes, least significant bits first.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

// The 64 characters of the encoding, value 0 first.
inline constexpr char kIconAlphabet[] = "0123456789:?ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// Encodes bytes; a last group of two bytes ends in "=", of one byte in "==".
QString EncodeIconText(const QByteArray& bytes);

// Decodes text made by EncodeIconText. Returns nothing when the text has a
// character outside the alphabet, a length that is not a multiple of four, or
// padding anywhere but at the end of its last group. Bits beyond the last
// byte of a short group are ignored.
std::optional<QByteArray> DecodeIconText(QStringView text);
