// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/iconfixture.h"

#include <QBuffer>
#include <QImage>
#include <QtEndian>

namespace {

void put16(QByteArray& b, uint16_t v)
{
    b.append(char(v & 0xFF)).append(char(v >> 8));
}

void put32(QByteArray& b, uint32_t v)
{
    put16(b, uint16_t(v & 0xFFFF));
    put16(b, uint16_t(v >> 16));
}

void set32(QByteArray& b, int at, uint32_t v)
{
    qToLittleEndian<uint32_t>(v, b.data() + at);
}

void pad(QByteArray& b, int alignment)
{
    while (b.size() % alignment)
        b.append('\0');
}

} // namespace

QByteArray MakeDibIconImage(int size, int bits, QColor colour)
{
    QByteArray out;
    const int stride = ((size * bits + 31) / 32) * 4;
    const int maskStride = ((size + 31) / 32) * 4;
    put32(out, 40);
    put32(out, uint32_t(size));
    put32(out, uint32_t(size * 2));
    put16(out, 1);
    put16(out, uint16_t(bits));
    put32(out, 0);
    put32(out, uint32_t((stride + maskStride) * size));
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    const int colours = bits <= 8 ? 1 << bits : 0;
    for (int i = 0; i < colours; ++i) {
        const QColor c = i == colours - 1 ? colour : QColor(0, 0, 0);
        out.append(char(c.blue())).append(char(c.green())).append(char(c.red())).append('\0');
    }
    for (int y = 0; y < size; ++y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < size; ++x) {
            if (bits == 32) {
                row[x * 4] = char(colour.blue());
                row[x * 4 + 1] = char(colour.green());
                row[x * 4 + 2] = char(colour.red());
                row[x * 4 + 3] = char(colour.alpha());
            } else if (bits == 24) {
                row[x * 3] = char(colour.blue());
                row[x * 3 + 1] = char(colour.green());
                row[x * 3 + 2] = char(colour.red());
            } else {
                const int bit = x * bits;
                row[bit / 8] = char(uint8_t(row[bit / 8]) | ((colours - 1) << (8 - bits - bit % 8)));
            }
        }
        out.append(row);
    }
    // Rows are bottom-up: the last mask row is the top one.
    for (int y = 0; y < size; ++y) {
        QByteArray row(maskStride, '\0');
        if (y == size - 1)
            row[0] = char(0x80);
        out.append(row);
    }
    return out;
}

QByteArray MakePngIconImage(int size, QColor colour)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray MakeIcoFile(const IconGroupSpec& images, int type)
{
    QByteArray out;
    put16(out, 0);
    put16(out, uint16_t(type));
    put16(out, uint16_t(images.size()));
    uint32_t offset = uint32_t(6 + 16 * images.size());
    for (const IconImageSpec& image : images) {
        out.append(char(image.size & 0xFF)).append(char(image.size & 0xFF)).append('\0').append('\0');
        put16(out, 1);
        put16(out, uint16_t(image.bits));
        put32(out, uint32_t(image.data.size()));
        put32(out, offset);
        offset += uint32_t(image.data.size());
    }
    for (const IconImageSpec& image : images)
        out.append(image.data);
    return out;
}

PeFixture MakePeFile(const std::vector<IconGroupSpec>& groups, bool pe64)
{
    constexpr uint32_t kSectionRva = 0x1000;
    constexpr int kFileAlign = 0x200;
    std::vector<QByteArray> blobs; // icons first, then the group directories
    std::vector<QByteArray> groupData;
    for (const IconGroupSpec& group : groups) {
        QByteArray dir;
        put16(dir, 0);
        put16(dir, 1);
        put16(dir, uint16_t(group.size()));
        for (const IconImageSpec& image : group) {
            blobs.push_back(image.data);
            dir.append(char(image.size & 0xFF)).append(char(image.size & 0xFF)).append('\0').append('\0');
            put16(dir, 1);
            put16(dir, uint16_t(image.bits));
            put32(dir, uint32_t(image.data.size()));
            put16(dir, uint16_t(blobs.size()));
        }
        groupData.push_back(dir);
    }
    const int icons = int(blobs.size());
    const int groupCount = int(groupData.size());
    blobs.insert(blobs.end(), groupData.begin(), groupData.end());

    auto directory = [](QByteArray& b, int count) {
        put32(b, 0);
        put32(b, 0);
        put32(b, 0);
        put16(b, 0);
        put16(b, uint16_t(count));
    };
    const int typeIcon = 16 + 2 * 8;
    const int typeGroup = typeIcon + 16 + 8 * icons;
    const int languages = typeGroup + 16 + 8 * groupCount;
    const int languageSize = 16 + 8;
    const int dataEntries = languages + languageSize * (icons + groupCount);
    const int payload = dataEntries + 16 * (icons + groupCount);
    QByteArray rsrc;
    directory(rsrc, 2);
    put32(rsrc, 3);
    put32(rsrc, 0x80000000u | typeIcon);
    put32(rsrc, 14);
    put32(rsrc, 0x80000000u | typeGroup);
    directory(rsrc, icons);
    for (int i = 0; i < icons; ++i) {
        put32(rsrc, uint32_t(i + 1));
        put32(rsrc, 0x80000000u | uint32_t(languages + languageSize * i));
    }
    directory(rsrc, groupCount);
    for (int i = 0; i < groupCount; ++i) {
        put32(rsrc, uint32_t(i + 1));
        put32(rsrc, 0x80000000u | uint32_t(languages + languageSize * (icons + i)));
    }
    for (int i = 0; i < icons + groupCount; ++i) {
        directory(rsrc, 1);
        put32(rsrc, 0x409);
        put32(rsrc, uint32_t(dataEntries + 16 * i));
    }
    int at = payload;
    for (const QByteArray& blob : blobs) {
        put32(rsrc, kSectionRva + uint32_t(at));
        put32(rsrc, uint32_t(blob.size()));
        put32(rsrc, 0);
        put32(rsrc, 0);
        at += int(blob.size() + 3) / 4 * 4;
    }
    for (const QByteArray& blob : blobs) {
        rsrc.append(blob);
        pad(rsrc, 4);
    }

    const int optionalSize = pe64 ? 240 : 224;
    const int headers = 0x40 + 24 + optionalSize + 40;
    const int rawOffset = (headers + kFileAlign - 1) / kFileAlign * kFileAlign;
    const int rawSize = int(rsrc.size() + kFileAlign - 1) / kFileAlign * kFileAlign;

    PeFixture pe;
    QByteArray& out = pe.bytes;
    out = QByteArray("MZ");
    out.append(QByteArray(0x3A, '\0'));
    put32(out, 0x40);
    pe.peHeader = int(out.size());
    out.append(QByteArray("PE\0\0", 4));
    put16(out, pe64 ? 0x8664 : 0x14C);
    put16(out, 1);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);
    put16(out, uint16_t(optionalSize));
    put16(out, 0x22);
    const int optional = int(out.size());
    out.append(QByteArray(optionalSize, '\0'));
    set32(out, optional, pe64 ? 0x20B : 0x10B);
    const int directoryCount = optional + (pe64 ? 108 : 92);
    set32(out, directoryCount, 16);
    pe.resourceEntry = directoryCount + 4 + 2 * 8;
    set32(out, pe.resourceEntry, kSectionRva);
    set32(out, pe.resourceEntry + 4, uint32_t(rsrc.size()));
    pe.sectionTable = int(out.size());
    out.append(".rsrc\0\0\0", 8);
    put32(out, uint32_t(rsrc.size()));
    put32(out, kSectionRva);
    put32(out, uint32_t(rawSize));
    put32(out, uint32_t(rawOffset));
    out.append(QByteArray(12, '\0'));
    put32(out, 0x40000040);
    out.append(QByteArray(rawOffset - int(out.size()), '\0'));
    pe.rsrcStart = rawOffset;
    pe.groupTypeEntry = rawOffset + 16 + 8;
    pe.firstDataEntry = rawOffset + dataEntries;
    out.append(rsrc);
    out.append(QByteArray(rawSize - int(rsrc.size()), '\0'));
    return pe;
}
