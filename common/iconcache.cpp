// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/iconcache.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>

namespace {

constexpr auto kThumbnailUriKey = "Thumb::URI";

// The source URI a freedesktop thumbnail records in its "Thumb::URI" text
// chunk (plain, compressed as Qt writes long texts, or international); empty when the file is no PNG or has none. Only the chunk headers
// are walked, so a damaged file ends the walk instead of being read past.
QByteArray thumbnailSource(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    if (file.read(8) != signature)
        return {};
    for (int chunks = 0; chunks < 64; ++chunks) {
        const QByteArray header = file.read(8);
        if (header.size() != 8)
            return {};
        const quint32 length = (quint32(uchar(header[0])) << 24) | (quint32(uchar(header[1])) << 16)
            | (quint32(uchar(header[2])) << 8) | quint32(uchar(header[3]));
        const QByteArray type = header.mid(4, 4);
        if (type == "IDAT" || type == "IEND" || length > 65536)
            return {};
        const QByteArray data = file.read(length);
        if (quint32(data.size()) != length)
            return {};
        file.skip(4); // CRC
        if (type == "tEXt" || type == "zTXt" || type == "iTXt") {
            const qsizetype zero = data.indexOf('\0');
            if (zero > 0 && data.left(zero) == kThumbnailUriKey) {
                QByteArray value = data.mid(zero + 1);
                if (type == "zTXt") {
                    // compression method, then zlib data; qUncompress wants
                    // a size hint in front
                    QByteArray packed("\x00\x01\x00\x00", 4);
                    packed += value.mid(1);
                    return qUncompress(packed);
                }
                if (type == "iTXt") {
                    // compression flag, method, language tag, translated keyword
                    value = value.mid(2);
                    for (int skip = 0; skip < 2; ++skip) {
                        const qsizetype end = value.indexOf('\0');
                        value = end < 0 ? QByteArray() : value.mid(end + 1);
                    }
                }
                return value;
            }
        }
    }
    return {};
}

bool isImageFileUri(const QByteArray& uri)
{
    const QByteArray lower = uri.toLower();
    return lower.endsWith(".wim") || lower.endsWith(".swm") || lower.endsWith(".esd");
}

} // namespace

QStringList ThumbnailCacheFolders()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/thumbnails/");
    QStringList folders;
    for (const char* size : {"normal", "large", "x-large", "xx-large"})
        folders << cache + QString::fromLatin1(size);
    // fail/<program>: the sources a thumbnailer could not read.
    const QDir fail(cache + QStringLiteral("fail"));
    for (const QString& name : fail.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        folders << fail.filePath(name);
    return folders;
}

int RebuildIconCache()
{
    int removed = 0;
    bool failed = false;
    for (const QString& folder : ThumbnailCacheFolders()) {
        const QDir dir(folder);
        for (const QString& name : dir.entryList({QStringLiteral("*.png")}, QDir::Files)) {
            const QString path = dir.filePath(name);
            if (!isImageFileUri(thumbnailSource(path)))
                continue;
            if (QFile::remove(path))
                ++removed;
            else
                failed = true;
        }
    }
    return failed ? -1 : removed;
}
