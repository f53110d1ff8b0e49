// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/module/shellicon.h"

#include "imaging/wimhandle.h"
#include "metadata/iconcodec.h"
#include "shell/module/shellmodule.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>

#include <cstring>

namespace {

constexpr qsizetype kHeaderBytes = 208;

quint64 readLe(const QByteArray& bytes, qsizetype at, int width)
{
    quint64 value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | uchar(bytes[at + i]);
    return value;
}

// A real lookup table has some 50 bytes for each stored file and stream.
constexpr quint64 kMaxLookupTableBytes = 256 * 1024 * 1024;

// A resource entry of the header: stored size (7 bytes), flags, offset and
// original size. Both sizes count, as the layer allocates the larger.
bool resourceWithin(const QByteArray& header, qsizetype at, quint64 cap)
{
    return readLe(header, at, 7) <= cap && readLe(header, at + 16, 8) <= cap;
}

} // namespace

bool ImageFileWithinShellCaps(const QByteArray& header)
{
    if (header.size() < kHeaderBytes)
        return false;
    // A file written for streaming keeps its real header at its end, and no
    // icon is stored in one.
    if (std::memcmp(header.constData(), "MSWIM\0\0\0", 8) != 0 || readLe(header, 8, 4) < quint64(kHeaderBytes))
        return false;
    return resourceWithin(header, 48, kMaxLookupTableBytes) && resourceWithin(header, 72, quint64(kMaxShellXmlBytes));
}

QString FindIconText(const QString& xml)
{
    // The IMAGE element of index 1: its start tag names INDEX="1".
    qsizetype from = 0;
    qsizetype begin = -1;
    qsizetype end = -1;
    while ((from = xml.indexOf(QLatin1String("<IMAGE"), from)) >= 0) {
        const qsizetype tagEnd = xml.indexOf(u'>', from);
        if (tagEnd < 0)
            return QString();
        const QChar after = xml.at(from + 6);
        if ((after == u' ' || after == u'\t' || after == u'\r' || after == u'\n') &&
            QStringView(xml).mid(from, tagEnd - from).contains(QLatin1String("INDEX=\"1\""))) {
            begin = tagEnd + 1;
            end = xml.indexOf(QLatin1String("</IMAGE>"), begin);
            break;
        }
        from = tagEnd;
    }
    if (begin < 0 || end < 0)
        return QString();
    const qsizetype privateAt = xml.indexOf(QLatin1String("<KESTREL"), begin);
    if (privateAt < 0 || privateAt >= end)
        return QString();
    const qsizetype open = xml.indexOf(QLatin1String("<ICON>"), privateAt);
    if (open < 0 || open >= end)
        return QString();
    const qsizetype textBegin = open + 6;
    const qsizetype close = xml.indexOf(QLatin1String("</ICON>"), textBegin);
    if (close < 0 || close > end || close - textBegin > kMaxIconTextChars)
        return QString();
    return xml.mid(textBegin, close - textBegin);
}

QImage DecodeIconPicture(const QByteArray& png)
{
    QBuffer buffer;
    buffer.setData(png);
    if (!buffer.open(QIODevice::ReadOnly))
        return QImage();
    QImageReader reader(&buffer, "png");
    reader.setAutoTransform(false);
    // The size in the header decides before anything is decoded.
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kMaxIconEdge || size.height() > kMaxIconEdge)
        return QImage();
    reader.setAllocationLimit(kMaxIconEdge * kMaxIconEdge * 8 / (1024 * 1024) + 1);
    QImage picture = reader.read();
    if (picture.isNull() || picture.width() > kMaxIconEdge || picture.height() > kMaxIconEdge)
        return QImage();
    return picture;
}

QImage IconAtEdge(const QImage& picture, int edge)
{
    if (edge <= 0 || picture.isNull())
        return QImage();
    if (picture.width() == edge)
        return picture;
    return picture.scaled(edge, edge, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

ShellIconPair ReadIconForShell(const QString& path, int largeEdge, int smallEdge)
{
    ShellIconPair icon;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !ImageFileWithinShellCaps(file.read(kHeaderBytes)))
        return icon;
    file.close();
    if (!ImagingApi.WIMGetImageInformation || !ImagingApi.WIMSetTemporaryPath)
        return icon;
    WimHandle wim = OpenImageFileRead(path);
    if (!wim)
        return icon;
    if (!ImagingApi.WIMSetTemporaryPath(wim.get(), reinterpret_cast<const char16_t*>(ShellModule().tempFolder.utf16())))
        return icon;
    // The file's XML holds every image's element; only image 1's is searched.
    // Its directory tree is not needed for the icon and is not read.
    void* raw = nullptr;
    DWORD bytes = 0;
    if (!ImagingApi.WIMGetImageInformation(wim.get(), &raw, &bytes) || !raw)
        return icon;
    LayerText text(raw);
    if (bytes > DWORD(3 * kMaxShellXmlBytes))
        return icon;
    const auto* units = static_cast<const char16_t*>(raw);
    qsizetype count = qsizetype(bytes / 2);
    if (count > 0 && units[0] == u'\xFEFF') {
        ++units;
        --count;
    }
    icon.source = ShellIconSource::NoIcon;
    const QString encoded = FindIconText(QString::fromUtf16(units, count));
    if (encoded.isEmpty())
        return icon;
    const std::optional<QByteArray> png = DecodeIconText(encoded);
    if (!png)
        return icon;
    const QImage picture = DecodeIconPicture(*png);
    if (picture.isNull())
        return icon;
    icon.source = ShellIconSource::Image;
    icon.large = IconAtEdge(picture, largeEdge);
    icon.small = smallEdge == largeEdge ? icon.large : IconAtEdge(picture, smallEdge);
    return icon;
}

QImage ProgramImageFileIcon(int edge)
{
    if (edge <= 0)
        return QImage();
    // Drawn on a 256 grid: a sheet with a folded corner and a disc on it.
    QImage icon(edge, edge, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(edge / 256.0, edge / 256.0);
    QPainterPath sheet;
    sheet.moveTo(40, 12);
    sheet.lineTo(168, 12);
    sheet.lineTo(216, 60);
    sheet.lineTo(216, 244);
    sheet.lineTo(40, 244);
    sheet.closeSubpath();
    p.setPen(QPen(QColor(0x2D, 0x4E, 0x7A), 8));
    p.setBrush(QColor(0xF4, 0xF7, 0xFB));
    p.drawPath(sheet);
    p.setBrush(QColor(0xC9, 0xD6, 0xE8));
    p.drawPolygon(QPolygonF({QPointF(168, 12), QPointF(168, 60), QPointF(216, 60)}));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2D, 0x6C, 0xB5));
    p.drawEllipse(QPointF(128, 150), 64, 64);
    p.setBrush(QColor(0xF4, 0xF7, 0xFB));
    p.drawEllipse(QPointF(128, 150), 14, 14);
    p.setBrush(QColor(0x8F, 0xB8, 0xE6));
    p.drawPie(QRectF(64, 86, 128, 128), 30 * 16, 50 * 16);
    p.end();
    return icon;
}
