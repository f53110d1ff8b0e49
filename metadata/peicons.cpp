// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata/peicons.h"

#include <QFile>

#include <algorithm>

namespace {

constexpr uint32_t kRtIcon = 3;
constexpr uint32_t kRtGroupIcon = 14;
constexpr uint32_t kHighBit = 0x80000000u;

// Little-endian reads; callers have checked the range.
uint16_t u16(QByteArrayView b, qsizetype at)
{
    return uint16_t(uint8_t(b[at]) | (uint8_t(b[at + 1]) << 8));
}

uint32_t u32(QByteArrayView b, qsizetype at)
{
    return uint32_t(uint8_t(b[at])) | (uint32_t(uint8_t(b[at + 1])) << 8) | (uint32_t(uint8_t(b[at + 2])) << 16)
        | (uint32_t(uint8_t(b[at + 3])) << 24);
}

uint32_t be32(QByteArrayView b, qsizetype at)
{
    return (uint32_t(uint8_t(b[at])) << 24) | (uint32_t(uint8_t(b[at + 1])) << 16)
        | (uint32_t(uint8_t(b[at + 2])) << 8) | uint32_t(uint8_t(b[at + 3]));
}

// Whether [offset, offset + length) lies inside b, in 64-bit arithmetic so
// that no field can wrap the check.
bool inside(QByteArrayView b, uint64_t offset, uint64_t length)
{
    return offset <= uint64_t(b.size()) && length <= uint64_t(b.size()) - offset;
}

int edge(uint8_t stored)
{
    return stored == 0 ? 256 : stored;
}

bool isPng(QByteArrayView data)
{
    return data.size() >= 8 && data.first(8) == QByteArrayView("\x89PNG\r\n\x1a\n", 8);
}

QImage decodePng(QByteArrayView data)
{
    // The header's size is checked first: the decoder would otherwise
    // allocate whatever the file claims.
    if (data.size() < 24 || data.sliced(12, 4) != QByteArrayView("IHDR"))
        return {};
    const uint32_t width = be32(data, 16);
    const uint32_t height = be32(data, 20);
    if (width == 0 || height == 0 || width > uint32_t(kMaxIconEdge) || height > uint32_t(kMaxIconEdge))
        return {};
    QImage image = QImage::fromData(data, "PNG");
    if (image.isNull())
        return {};
    return image.convertToFormat(QImage::Format_ARGB32);
}

QImage decodeDib(QByteArrayView data)
{
    if (data.size() < 40)
        return {};
    const uint32_t headerSize = u32(data, 0);
    const int32_t width = int32_t(u32(data, 4));
    const int32_t doubledHeight = int32_t(u32(data, 8));
    const uint16_t bitCount = u16(data, 14);
    const uint32_t compression = u32(data, 16);
    const uint32_t colorsUsed = u32(data, 32);
    // The height counts the colour rows and the mask rows; icons are stored
    // bottom-up, so a negative height is no icon.
    if (headerSize < 40 || !inside(data, 0, headerSize) || compression != 0)
        return {};
    if (width <= 0 || width > kMaxIconEdge || doubledHeight < 2 || doubledHeight / 2 > kMaxIconEdge)
        return {};
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32)
        return {};
    const int height = doubledHeight / 2;
    uint64_t paletteSize = 0;
    if (bitCount <= 8) {
        paletteSize = colorsUsed ? colorsUsed : (1u << bitCount);
        if (paletteSize > (1u << bitCount))
            return {};
    }
    const uint64_t palette = headerSize;
    const uint64_t colours = palette + paletteSize * 4;
    const uint64_t colourStride = ((uint64_t(width) * bitCount + 31) / 32) * 4;
    const uint64_t mask = colours + colourStride * uint64_t(height);
    const uint64_t maskStride = ((uint64_t(width) + 31) / 32) * 4;
    if (!inside(data, palette, paletteSize * 4) || !inside(data, colours, colourStride * uint64_t(height)))
        return {};
    // A 32-bit image may leave its mask out: its alpha says it all.
    const bool hasMask = inside(data, mask, maskStride * uint64_t(height));
    if (!hasMask && bitCount != 32)
        return {};

    QImage image(width, height, QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    bool anyAlpha = false;
    for (int y = 0; y < height; ++y) {
        const qsizetype row = qsizetype(colours + colourStride * uint64_t(height - 1 - y));
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            QRgb pixel = 0;
            if (bitCount == 32) {
                const qsizetype at = row + qsizetype(x) * 4;
                pixel = qRgba(uint8_t(data[at + 2]), uint8_t(data[at + 1]), uint8_t(data[at]), uint8_t(data[at + 3]));
                anyAlpha = anyAlpha || qAlpha(pixel) != 0;
            } else if (bitCount == 24) {
                const qsizetype at = row + qsizetype(x) * 3;
                pixel = qRgb(uint8_t(data[at + 2]), uint8_t(data[at + 1]), uint8_t(data[at]));
            } else {
                const qsizetype bit = qsizetype(x) * bitCount;
                const uint8_t byte = uint8_t(data[row + bit / 8]);
                const int shift = 8 - bitCount - int(bit % 8);
                const uint32_t index = (byte >> shift) & ((1u << bitCount) - 1);
                if (index < paletteSize) {
                    const qsizetype at = qsizetype(palette + index * 4);
                    pixel = qRgb(uint8_t(data[at + 2]), uint8_t(data[at + 1]), uint8_t(data[at]));
                }
            }
            line[x] = pixel;
        }
    }
    if (bitCount == 32 && anyAlpha)
        return image;
    if (!hasMask) // 32 bits, no alpha and no mask: all opaque
        return image.convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        const qsizetype row = qsizetype(mask + maskStride * uint64_t(height - 1 - y));
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const bool transparent = (uint8_t(data[row + x / 8]) >> (7 - x % 8)) & 1;
            line[x] = transparent ? 0 : (line[x] | 0xFF000000u);
        }
    }
    return image;
}

// A resource directory (IMAGE_RESOURCE_DIRECTORY) and its entries, checked
// against the resource section.
struct DirEntry {
    uint32_t name;   // id, or a name's offset with the high bit
    uint32_t target; // data entry, or a subdirectory with the high bit
};

bool readDirectory(QByteArrayView rsrc, uint32_t offset, std::vector<DirEntry>& entries)
{
    entries.clear();
    if (!inside(rsrc, offset, 16))
        return false;
    const uint64_t count = uint64_t(u16(rsrc, offset + 12)) + u16(rsrc, offset + 14);
    if (!inside(rsrc, uint64_t(offset) + 16, count * 8))
        return false;
    entries.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
        const qsizetype at = qsizetype(offset + 16 + i * 8);
        entries.push_back({u32(rsrc, at), u32(rsrc, at + 4)});
    }
    return true;
}

} // namespace

QString IconFileErrorText(IconFileError error)
{
    switch (error) {
    case IconFileError::kNone: return QStringLiteral("read");
    case IconFileError::kUnknownFormat: return QStringLiteral("not a program, icon or cursor file");
    case IconFileError::kTruncated: return QStringLiteral("the file ends inside a header or table");
    case IconFileError::kBadOffset: return QStringLiteral("a field points outside the file");
    case IconFileError::kNoIcons: return QStringLiteral("the file holds no icon");
    case IconFileError::kTooLarge: return QStringLiteral("the file is too large");
    }
    return {};
}

QImage DecodeIconImage(QByteArrayView data)
{
    return isPng(data) ? decodePng(data) : decodeDib(data);
}

IconFile::IconFile() = default;
IconFile::~IconFile() = default;

void IconFile::clear()
{
    m_kind = Kind::kNone;
    m_bytes = {};
    m_sections.clear();
    m_groups.clear();
    m_iconById.clear();
}

IconFileError IconFile::load(const QString& path)
{
    clear();
    m_file.reset();
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        return IconFileError::kTruncated;
    const qint64 size = file->size();
    if (size > kMaxIconFileBytes)
        return IconFileError::kTooLarge;
    if (size <= 0)
        return IconFileError::kTruncated;
    uchar* mapped = file->map(0, size);
    if (!mapped)
        return IconFileError::kTruncated;
    m_file = std::move(file);
    return read(QByteArrayView(mapped, qsizetype(size)));
}

IconFileError IconFile::read(QByteArrayView bytes)
{
    clear();
    IconFileError result = IconFileError::kUnknownFormat;
    if (bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z')
        result = readPe(bytes);
    else if (bytes.size() >= 4 && u16(bytes, 0) == 0 && (u16(bytes, 2) == 1 || u16(bytes, 2) == 2))
        result = readIco(bytes);
    else if (bytes.size() < 4)
        result = IconFileError::kTruncated;
    if (result != IconFileError::kNone)
        clear();
    return result;
}

IconFileError IconFile::readIco(QByteArrayView bytes)
{
    if (bytes.size() < 6)
        return IconFileError::kTruncated;
    const uint16_t count = u16(bytes, 4);
    if (count == 0)
        return IconFileError::kNoIcons;
    if (!inside(bytes, 6, uint64_t(count) * 16))
        return IconFileError::kTruncated;
    for (uint16_t i = 0; i < count; ++i) {
        const qsizetype at = 6 + qsizetype(i) * 16;
        if (!inside(bytes, u32(bytes, at + 12), u32(bytes, at + 8)))
            return IconFileError::kBadOffset;
    }
    m_kind = Kind::kIco;
    m_bytes = bytes;
    m_groups.push_back(bytes);
    return IconFileError::kNone;
}

bool IconFile::rvaToView(uint32_t rva, uint32_t size, QByteArrayView& out) const
{
    for (const Section& s : m_sections) {
        if (rva < s.virtualAddress || rva - s.virtualAddress >= s.rawSize)
            continue;
        const uint64_t within = rva - s.virtualAddress;
        if (within + size > s.rawSize || !inside(m_bytes, uint64_t(s.rawOffset) + within, size))
            return false;
        out = m_bytes.sliced(qsizetype(s.rawOffset + within), qsizetype(size));
        return true;
    }
    return false;
}

IconFileError IconFile::readPe(QByteArrayView bytes)
{
    m_bytes = bytes;
    if (bytes.size() < 64)
        return IconFileError::kTruncated;
    const uint32_t pe = u32(bytes, 0x3C);
    if (!inside(bytes, pe, 24))
        return IconFileError::kTruncated;
    if (bytes.sliced(pe, 4) != QByteArrayView("PE\0\0", 4))
        return IconFileError::kUnknownFormat;
    const uint16_t sectionCount = u16(bytes, pe + 6);
    const uint16_t optionalSize = u16(bytes, pe + 20);
    const uint64_t optional = uint64_t(pe) + 24;
    if (!inside(bytes, optional, optionalSize) || optionalSize < 2)
        return IconFileError::kTruncated;
    uint64_t directoryCountAt = 0;
    switch (u16(bytes, qsizetype(optional))) {
    case 0x10B: directoryCountAt = 92; break;  // PE32
    case 0x20B: directoryCountAt = 108; break; // PE32+
    default: return IconFileError::kUnknownFormat;
    }
    if (directoryCountAt + 4 > optionalSize)
        return IconFileError::kTruncated;
    const uint32_t directoryCount = u32(bytes, qsizetype(optional + directoryCountAt));
    const uint64_t resourceEntry = directoryCountAt + 4 + 2 * 8;
    if (directoryCount < 3 || resourceEntry + 8 > optionalSize)
        return IconFileError::kNoIcons;
    const uint32_t resourceRva = u32(bytes, qsizetype(optional + resourceEntry));
    if (resourceRva == 0)
        return IconFileError::kNoIcons;

    const uint64_t table = optional + optionalSize;
    if (!inside(bytes, table, uint64_t(sectionCount) * 40))
        return IconFileError::kTruncated;
    m_sections.reserve(sectionCount);
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const qsizetype at = qsizetype(table + uint64_t(i) * 40);
        m_sections.push_back({u32(bytes, at + 12), u32(bytes, at + 20), u32(bytes, at + 16)});
    }
    // The tree's offsets count from the start of the resource data, which
    // runs to the end of its section.
    QByteArrayView rsrc;
    for (const Section& s : m_sections) {
        if (resourceRva < s.virtualAddress || resourceRva - s.virtualAddress >= s.rawSize)
            continue;
        const uint64_t start = uint64_t(s.rawOffset) + (resourceRva - s.virtualAddress);
        if (start >= uint64_t(bytes.size()))
            return IconFileError::kBadOffset;
        const uint64_t end = std::min<uint64_t>(uint64_t(s.rawOffset) + s.rawSize, uint64_t(bytes.size()));
        rsrc = bytes.sliced(qsizetype(start), qsizetype(end - start));
        break;
    }
    if (rsrc.isEmpty())
        return IconFileError::kBadOffset;

    // Type, name and language: three levels and no more, so a directory that
    // points back at itself is read once and goes nowhere.
    IconFileError firstError = IconFileError::kNone;
    auto fail = [&firstError](IconFileError e) {
        if (firstError == IconFileError::kNone)
            firstError = e;
    };
    std::vector<DirEntry> types, names, languages;
    if (!readDirectory(rsrc, 0, types))
        return IconFileError::kBadOffset;
    for (const DirEntry& type : types) {
        if ((type.name & kHighBit) || (type.name != kRtIcon && type.name != kRtGroupIcon))
            continue;
        if (!(type.target & kHighBit) || !readDirectory(rsrc, type.target & ~kHighBit, names)) {
            fail(IconFileError::kBadOffset);
            continue;
        }
        for (const DirEntry& name : names) {
            if (!(name.target & kHighBit) || !readDirectory(rsrc, name.target & ~kHighBit, languages)) {
                fail(IconFileError::kBadOffset);
                continue;
            }
            // The first language with data; the others are translations.
            QByteArrayView data;
            bool found = false;
            for (const DirEntry& language : languages) {
                const uint32_t entry = language.target;
                if ((entry & kHighBit) || !inside(rsrc, entry, 16))
                    continue;
                found = rvaToView(u32(rsrc, entry), u32(rsrc, entry + 4), data);
                if (found)
                    break;
            }
            if (!found) {
                fail(IconFileError::kBadOffset);
                continue;
            }
            if (type.name == kRtIcon) {
                if (!(name.name & kHighBit))
                    m_iconById.push_back({name.name, data});
            } else if (data.size() >= 6 && inside(data, 6, uint64_t(u16(data, 4)) * 14)) {
                m_groups.push_back(data);
            } else {
                fail(IconFileError::kTruncated);
            }
        }
    }
    std::stable_sort(m_iconById.begin(), m_iconById.end(),
                     [](const IconResource& a, const IconResource& b) { return a.id < b.id; });
    if (m_groups.empty())
        return firstError != IconFileError::kNone ? firstError : IconFileError::kNoIcons;
    m_kind = Kind::kPe;
    return IconFileError::kNone;
}

std::vector<IconImageEntry> IconFile::images(int index) const
{
    std::vector<IconImageEntry> result;
    if (index < 0 || index >= count())
        return result;
    const QByteArrayView group = m_groups[size_t(index)];
    const uint16_t n = u16(group, 4); // checked against the group by read()
    result.reserve(n);
    for (uint16_t i = 0; i < n; ++i) {
        IconImageEntry entry;
        if (m_kind == Kind::kIco) {
            const qsizetype at = 6 + qsizetype(i) * 16;
            entry.width = edge(uint8_t(group[at]));
            entry.height = edge(uint8_t(group[at + 1]));
            // Cursors keep their hot spot where icons keep planes and depth.
            entry.bitCount = u16(group, 2) == 1 ? u16(group, at + 6) : 0;
            entry.data = group.sliced(u32(group, at + 12), u32(group, at + 8));
        } else {
            const qsizetype at = 6 + qsizetype(i) * 14;
            entry.width = edge(uint8_t(group[at]));
            entry.height = edge(uint8_t(group[at + 1]));
            entry.bitCount = u16(group, at + 6);
            const uint32_t id = u16(group, at + 12);
            const auto it = std::lower_bound(m_iconById.begin(), m_iconById.end(), id,
                                             [](const IconResource& r, uint32_t v) { return r.id < v; });
            if (it == m_iconById.end() || it->id != id)
                continue;
            entry.data = it->data;
        }
        result.push_back(entry);
    }
    return result;
}

QImage IconFile::icon(int index, int size) const
{
    if (size <= 0 || size > kMaxIconEdge)
        return {};
    std::vector<IconImageEntry> candidates = images(index);
    // The depth a PNG entry claims may be 0: such images are full colour.
    auto depth = [](const IconImageEntry& e) { return e.bitCount == 0 ? 32 : e.bitCount; };
    // Order of preference: the exact width, then larger ones from the
    // nearest up, then smaller ones from the nearest down; deeper colour
    // first within a width.
    auto rank = [size](const IconImageEntry& e) {
        if (e.width == size)
            return 0;
        return e.width > size ? e.width - size : kMaxIconEdge + (size - e.width);
    };
    std::stable_sort(candidates.begin(), candidates.end(), [&](const IconImageEntry& a, const IconImageEntry& b) {
        if (rank(a) != rank(b))
            return rank(a) < rank(b);
        return depth(a) > depth(b);
    });
    for (const IconImageEntry& entry : candidates) {
        const QImage image = DecodeIconImage(entry.data);
        if (image.isNull())
            continue;
        if (image.width() == size && image.height() == size)
            return image;
        return image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return {};
}
