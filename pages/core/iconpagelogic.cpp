// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/iconpagelogic.h"

#include "common/language.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

namespace {

bool isSvgFile(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix();
    return suffix.compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0
        || suffix.compare(QLatin1String("svgz"), Qt::CaseInsensitive) == 0;
}

void put16(QByteArray& b, uint16_t v)
{
    char bytes[2];
    qToLittleEndian(v, bytes);
    b.append(bytes, 2);
}

void put32(QByteArray& b, uint32_t v)
{
    char bytes[4];
    qToLittleEndian(v, bytes);
    b.append(bytes, 4);
}

} // namespace

QString IconSourcePattern()
{
    return QStringLiteral("*.EXE;*.DLL;*.CPL;*.ICO;*.CUR;*.BMP;*.PNG;*.JPG;*.JPEG;*.GIF;*.TIFF;*.DIB;*.JFIF;*.TIF;*.SVG");
}

QStringList IconSourceExtensions()
{
    QStringList extensions;
    for (const QString& pattern : IconSourcePattern().split(u';'))
        extensions << pattern.mid(2);
    return extensions;
}

QString IconSizeText(int i)
{
    const int edge = kIconSizes[size_t(std::clamp(i, 0, int(kIconSizes.size()) - 1))];
    return GetLanguageString(212) + QStringLiteral("[%1*%2]").arg(edge).arg(edge);
}

int IconCellIndex(int row, int column, int count)
{
    if (row < 0 || column < 1 || column > kIconColumns)
        return -1;
    const int index = row * kIconColumns + column - 1;
    return index < count ? index : -1;
}

int IconListRows(int count)
{
    return std::max(kIconMinRows, (std::max(count, 0) + kIconColumns - 1) / kIconColumns);
}

IconPicture LoadIconPicture(const QString& path)
{
    IconPicture result;
    if (isSvgFile(path))
        return result;
    QImageReader reader(path);
    // Icon and cursor files go to the icon reader, which gives every size
    // they hold; a picture reader would take one and bleach it.
    const QByteArray format = reader.format();
    if (format.isEmpty() || format == "ico" || format == "cur" || format == "svg" || format == "svgz")
        return result;
    const QSize size = reader.size();
    if (size.width() > kMaxPictureEdge || size.height() > kMaxPictureEdge) {
        result.tooLarge = true;
        return result;
    }
    QImage image = reader.read();
    if (image.isNull())
        return result;
    if (image.width() > kMaxPictureEdge || image.height() > kMaxPictureEdge) {
        result.tooLarge = true;
        return result;
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    // Pictures rarely carry transparency; their white background becomes it.
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & 0x00FFFFFFu) == 0x00FFFFFFu)
                line[x] = 0;
        }
    }
    result.bitmap = image;
    return result;
}

IconSource::IconSource() = default;
IconSource::~IconSource() = default;

void IconSource::clear()
{
    m_kind = Kind::kNone;
    m_path.clear();
    m_count = 0;
    m_picture = QImage();
    m_file.reset();
    m_fileError = IconFileError::kNone;
}

bool IconSource::load(const QString& path, bool* tooLarge)
{
    clear();
    if (tooLarge)
        *tooLarge = false;
    if (!QFileInfo(path).isFile())
        return false;
    if (isSvgFile(path)) {
        QImageReader reader(path);
        if (!reader.canRead() || reader.size().isEmpty())
            return false;
        m_kind = Kind::kSvg;
    } else {
        IconPicture picture = LoadIconPicture(path);
        if (tooLarge)
            *tooLarge = picture.tooLarge;
        if (!picture.bitmap.isNull()) {
            m_kind = Kind::kPicture;
            m_picture = picture.bitmap;
        } else {
            auto file = std::make_unique<IconFile>();
            m_fileError = file->load(path);
            if (m_fileError != IconFileError::kNone)
                return false;
            m_file = std::move(file);
            m_kind = Kind::kFile;
        }
    }
    m_path = path;
    m_count = m_kind == Kind::kFile ? m_file->count() : 1;
    // A source whose first icon cannot be drawn gives the user nothing.
    if (icon(32, 0).isNull()) {
        const IconFileError error = m_fileError;
        clear();
        m_fileError = error == IconFileError::kNone && m_kind == Kind::kFile ? IconFileError::kNoIcons : error;
        return false;
    }
    return true;
}

QImage IconSource::icon(int size, int index) const
{
    if (size <= 0 || size > kMaxIconEdge || index < 0 || index >= m_count)
        return {};
    QImage image;
    switch (m_kind) {
    case Kind::kNone:
        return {};
    case Kind::kPicture:
        image = m_picture.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        break;
    case Kind::kSvg: {
        // Drawn at the size itself, not scaled from another.
        QImageReader reader(m_path);
        reader.setScaledSize(QSize(size, size));
        image = reader.read();
        break;
    }
    case Kind::kFile:
        image = m_file->icon(index, size);
        break;
    }
    if (image.isNull())
        return {};
    return image.convertToFormat(QImage::Format_ARGB32);
}

QByteArray IconToIcoBytes(const QImage& icon)
{
    if (icon.isNull() || icon.width() > 256 || icon.height() > 256)
        return {};
    const QImage image = icon.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();
    const int colourStride = w * 4;
    const int maskStride = ((w + 31) / 32) * 4;
    const uint32_t dataSize = uint32_t(40 + colourStride * h + maskStride * h);
    QByteArray out;
    out.reserve(int(22 + dataSize));
    put16(out, 0); // reserved
    put16(out, 1); // icon
    put16(out, 1); // one image
    out.append(char(w == 256 ? 0 : w)).append(char(h == 256 ? 0 : h));
    out.append('\0').append('\0'); // colour count, reserved
    put16(out, 1);                 // planes
    put16(out, 32);                // bits per pixel
    put32(out, dataSize);
    put32(out, 22);
    // BITMAPINFOHEADER: the height counts the colour and the mask rows.
    put32(out, 40);
    put32(out, uint32_t(w));
    put32(out, uint32_t(h * 2));
    put16(out, 1);
    put16(out, 32);
    put32(out, 0); // uncompressed
    put32(out, uint32_t(colourStride * h + maskStride * h));
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    for (int y = h - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb p = line[x];
            out.append(char(qBlue(p))).append(char(qGreen(p))).append(char(qRed(p))).append(char(qAlpha(p)));
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < w; ++x) {
            if (qAlpha(line[x]) == 0)
                row[x / 8] = char(uint8_t(row[x / 8]) | (0x80 >> (x % 8)));
        }
        out.append(row);
    }
    return out.size() <= kMaxIcoBytes ? out : QByteArray();
}

QImage IcoBytesToImage(const QByteArray& ico)
{
    IconFile file;
    if (file.read(ico) != IconFileError::kNone)
        return {};
    const std::vector<IconImageEntry> images = file.images(0);
    return images.empty() ? QImage() : DecodeIconImage(images.front().data);
}

QByteArray IcoBytesToPng(const QByteArray& ico)
{
    const QImage image = IcoBytesToImage(ico);
    if (image.isNull())
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG", 85))
        return {};
    return png;
}
