// SPDX-License-Identifier: GPL-3.0-or-later
// Image files with and without an icon, and damaged or hostile ones.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// A 48 x 48 picture: red, with a blue 8 x 8 block at the top left.
QImage SamplePicture();
QByteArray PngBytes(const QImage& picture);
// A PNG whose header claims width x height pixels, with a tiny data stream.
QByteArray PngClaiming(quint32 width, quint32 height);

// A new image file (one image) whose private element holds `iconText`
// (nothing stored when it is null). False when it could not be written.
bool MakeImageFileWithIconText(const QString& path, const QString& iconText);
