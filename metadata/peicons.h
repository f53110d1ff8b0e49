// SPDX-License-Identifier: GPL-3.0-or-later
// Icons of Windows program files (the icon groups of a PE file's resource
// section, 32- and 64-bit) and of ICO and CUR files, read from their bytes.
// Program and icon files come from anywhere: every offset, size and count is
// checked against the bytes, nothing is allocated from a field before it is,
// and a file that does not hold up is refused with its reason.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class QFile;

// Why a file was refused; kNone when it was read.
enum class IconFileError {
    kNone,
    kUnknownFormat,    // neither "MZ"/"PE" nor an ICO/CUR header
    kTruncated,        // a header or table runs past the end of the file
    kBadOffset,        // a field points outside the file or its section
    kNoIcons,          // well-formed, but no icon group (or an empty ICO)
    kTooLarge,         // the file is above kMaxIconFileBytes
};

// A one-line English description of the reason, for logs and tests.
QString IconFileErrorText(IconFileError error);

// Files above this size are not read (no icon file or program is near it).
inline constexpr qint64 kMaxIconFileBytes = qint64(512) << 20;
// Icon images wider or taller than this are not decoded.
inline constexpr int kMaxIconEdge = 1024;

// One image of an icon: its size as the directory gives it (0 stands for 256
// in the files and is 256 here), its colour depth and its bytes (a PNG file
// or a DIB: BITMAPINFOHEADER, colours, mask).
struct IconImageEntry {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    QByteArrayView data;
};

// The icons of one file.
class IconFile {
public:
    IconFile();
    ~IconFile();
    IconFile(const IconFile&) = delete;
    IconFile& operator=(const IconFile&) = delete;

    // Reads the directory of `bytes` (PE file, ICO or CUR). The groups'
    // images are found when asked for, so that a file with many groups costs
    // little until one is shown. The object views the bytes: they must
    // outlive it.
    IconFileError read(QByteArrayView bytes);
    // The same for a file, mapped (not copied) for the object's lifetime;
    // kTruncated when it cannot be read, kTooLarge above kMaxIconFileBytes.
    IconFileError load(const QString& path);

    // Icon groups in the file's order (for a PE file the order of its
    // RT_GROUP_ICON entries, the order Windows numbers them in); 1 for an
    // ICO or CUR file, 0 after a refusal.
    int count() const { return int(m_groups.size()); }

    // The images of group `index` that lie inside the file; empty when the
    // group is damaged or `index` is out of range.
    std::vector<IconImageEntry> images(int index) const;

    // Group `index` at `size` x `size`: the image of that width when there is
    // one (the deepest colour first), else the nearest larger one scaled
    // smoothly, else the largest. Null when none of them decodes.
    QImage icon(int index, int size) const;

private:
    enum class Kind { kNone, kIco, kPe };
    struct Section {
        uint32_t virtualAddress;
        uint32_t rawOffset;
        uint32_t rawSize;
    };
    struct IconResource {
        uint32_t id;
        QByteArrayView data;
    };
    IconFileError readIco(QByteArrayView bytes);
    IconFileError readPe(QByteArrayView bytes);
    bool rvaToView(uint32_t rva, uint32_t size, QByteArrayView& out) const;

    void clear();

    std::unique_ptr<QFile> m_file;
    Kind m_kind = Kind::kNone;
    QByteArrayView m_bytes;
    std::vector<Section> m_sections;
    std::vector<QByteArrayView> m_groups;   // ICO: the whole file; PE: GRPICONDIR
    std::vector<IconResource> m_iconById;   // PE: RT_ICON by id, sorted
};

// Decodes one icon image (PNG, or a DIB with its mask: 1, 4, 8, 24 and 32
// bits per pixel, uncompressed). Null for anything else, and for images above
// kMaxIconEdge.
QImage DecodeIconImage(QByteArrayView data);
