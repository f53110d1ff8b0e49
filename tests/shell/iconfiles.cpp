// SPDX-License-Identifier: GPL-3.0-or-later
#include "iconfiles.h"

#include "metadata/imageicon.h"
#include "support/imagefixture.h"

#include <QBuffer>
#include <QtEndian>

QImage SamplePicture()
{
    QImage picture(48, 48, QImage::Format_ARGB32);
    picture.fill(QColor(255, 0, 0));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            picture.setPixel(x, y, qRgb(0, 0, 255));
    return picture;
}

QByteArray PngBytes(const QImage& picture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return bytes;
}

namespace {

quint32 crc32(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= uchar(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray chunk(const char* type, const QByteArray& data)
{
    QByteArray out(4, '\0');
    qToBigEndian(quint32(data.size()), out.data());
    const QByteArray body = QByteArray(type, 4) + data;
    out += body;
    QByteArray crc(4, '\0');
    qToBigEndian(crc32(body), crc.data());
    return out + crc;
}

} // namespace

QByteArray PngClaiming(quint32 width, quint32 height)
{
    QByteArray header(13, '\0');
    qToBigEndian(width, header.data());
    qToBigEndian(height, header.data() + 4);
    header[8] = 8; // bit depth
    header[9] = 6; // RGBA
    const QByteArray rows = qCompress(QByteArray(4096, '\0')).mid(4); // the zlib stream
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", rows) +
           chunk("IEND", QByteArray());
}

bool MakeImageFileWithIconText(const QString& path, const QString& iconText)
{
    QString why;
    if (!BindTestImagingLayer(&why) || !MakeImageFile(path))
        return false;
    return iconText.isNull() || WriteImageIcon(path, iconText) == kIconOk;
}
