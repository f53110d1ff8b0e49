// SPDX-License-Identifier: GPL-3.0-or-later
#include "wimheader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace wimgapi {

namespace {

// Offsets in the header and sizes of its resource entries.
constexpr size_t kPartOffset = 40;
constexpr size_t kImageCountOffset = 44;
constexpr size_t kBlobTableEntry = 48;
constexpr size_t kXmlEntry = 72;
constexpr size_t kBootMetadataEntry = 96;
constexpr size_t kBootIndexOffset = 120;
constexpr size_t kIntegrityEntry = 124;
constexpr size_t kEntrySize = 24;
constexpr size_t kBlobRecordSize = 50;
constexpr uint8_t kFlagMetadata = 0x02;
constexpr uint8_t kFlagCompressed = 0x04;
constexpr uint8_t kFlagSolid = 0x10;

uint64_t readLe(const unsigned char* p, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

void writeLe(unsigned char* p, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

struct Entry {
    uint64_t sizeInWim = 0;
    uint8_t flags = 0;
    uint64_t offset = 0;
    uint64_t originalSize = 0;
};

Entry readEntry(const unsigned char* p)
{
    return {readLe(p, 7), p[7], readLe(p + 8, 8), readLe(p + 16, 8)};
}

void writeEntry(unsigned char* p, const Entry& e)
{
    writeLe(p, e.sizeInWim, 7);
    p[7] = e.flags;
    writeLe(p + 8, e.offset, 8);
    writeLe(p + 16, e.originalSize, 8);
}

// No chunked format packs better than this; LZMS, the best, stays well below.
constexpr uint64_t kMaxUnpackRatio = 65536;
// A blob table packs far worse: each 50-byte entry holds a 20-byte hash of
// its own, so a real one packs to no less than a third of its size.
constexpr uint64_t kMaxTableUnpackRatio = 64;

// A resource entry that lies inside the file and does not claim to unpack to
// more than any chunked format can.
bool resourceFits(const Entry& e, uint64_t fileSize)
{
    if (e.offset > fileSize || e.sizeInWim > fileSize - e.offset)
        return false;
    const uint64_t ratio = (e.flags & kFlagCompressed) ? kMaxUnpackRatio : 1;
    return e.originalSize / ratio <= e.sizeInWim;
}

// pread/pwrite of a whole range; a short transfer that sets no errno is a
// full disk (write) or a file cut short (read).
bool readAll(int fd, void* buffer, size_t size, uint64_t offset)
{
    auto* p = static_cast<char*>(buffer);
    while (size > 0) {
        const ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

bool writeAll(int fd, const void* buffer, size_t size, uint64_t offset)
{
    const auto* p = static_cast<const char*>(buffer);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

} // namespace

bool ReadWimHeader(int fd, WimHeader& header)
{
    if (!readAll(fd, header.bytes, kWimHeaderSize, 0))
        return false;
    if (std::memcmp(header.bytes, "MSWIM\0\0\0", 8) != 0 || readLe(header.bytes + kPartOffset + 2, 2) > 1) {
        errno = ENOEXEC;
        return false;
    }
    return true;
}

bool MetadataEntryFits(uint64_t storedSize, uint64_t offset, uint64_t originalSize, bool compressed, bool solid,
                       uint64_t fileSize)
{
    // Inside a solid resource, the offset and size are those within the
    // resource's unpacked data, and the resource lies in the file.
    if (solid)
        return originalSize / kMaxUnpackRatio <= fileSize;
    return resourceFits(Entry{storedSize, static_cast<uint8_t>(compressed ? kFlagCompressed : 0), offset, originalSize},
                        fileSize);
}

bool HeaderFitsFile(const std::string& path, bool* tableCompressed)
{
    if (tableCompressed)
        *tableCompressed = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    WimHeader header;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !readAll(fd, header.bytes, kWimHeaderSize, 0))
        return true;
    const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    // A pipable file (written for streaming) starts with an empty header
    // under its own magic; wimlib takes the last 208 bytes of the file as the
    // real header, whatever their magic.
    if (std::memcmp(header.bytes, "WLPWM\0\0\0", 8) == 0) {
        if (fileSize < kWimHeaderSize || !readAll(fd, header.bytes, kWimHeaderSize, fileSize - kWimHeaderSize))
            return true;
    } else if (std::memcmp(header.bytes, "MSWIM\0\0\0", 8) != 0) {
        return true;
    }
    for (const size_t at : {kBlobTableEntry, kXmlEntry, kIntegrityEntry}) {
        const Entry e = readEntry(header.bytes + at);
        if ((e.sizeInWim != 0 || e.originalSize != 0) && !resourceFits(e, fileSize))
            return false;
    }
    // wimlib makes room for every counted image before it reads them, and
    // each image has its metadata entry in the first part's blob table: a
    // count the table cannot hold is damage.
    const uint64_t part = readLe(header.bytes + kPartOffset, 2);
    const uint64_t images = readLe(header.bytes + kImageCountOffset, 4);
    const Entry blobs = readEntry(header.bytes + kBlobTableEntry);
    if (part > 1 || images == 0)
        return true;
    if (images > std::max(blobs.sizeInWim, blobs.originalSize) / kBlobRecordSize)
        return false;
    // wimlib reads a table flagged compressed but stored at its full size as
    // it stands. A really compressed one is unpacked whole, and its metadata
    // entries are checked once wimlib has unpacked it.
    if ((blobs.flags & kFlagCompressed) && blobs.sizeInWim != blobs.originalSize) {
        if (blobs.originalSize / kMaxTableUnpackRatio > blobs.sizeInWim)
            return false;
        if (tableCompressed)
            *tableCompressed = true;
        return true;
    }
    // wimlib loads an image's whole metadata resource into memory at the size
    // its entry claims, so those entries must fit the file as well. The table
    // lies inside the file (checked above); it is read in slices.
    constexpr uint64_t kSlice = kBlobRecordSize * 1310;
    std::vector<unsigned char> slice;
    uint64_t seen = 0;
    for (uint64_t done = 0; done + kBlobRecordSize <= blobs.sizeInWim && seen < images; done += kSlice) {
        const uint64_t size = std::min<uint64_t>(kSlice, blobs.sizeInWim - done) / kBlobRecordSize * kBlobRecordSize;
        slice.resize(size);
        if (!readAll(fd, slice.data(), size, blobs.offset + done))
            return true; // wimlib reports a table it cannot read
        for (size_t at = 0; at < size && seen < images; at += kBlobRecordSize) {
            const Entry e = readEntry(slice.data() + at);
            if (!(e.flags & kFlagMetadata))
                continue;
            ++seen;
            if (!MetadataEntryFits(e.sizeInWim, e.offset, e.originalSize, e.flags & kFlagCompressed,
                                   e.flags & kFlagSolid, fileSize))
                return false;
        }
    }
    return true;
}

bool WriteWimHeader(int fd, const WimHeader& header)
{
    return writeAll(fd, header.bytes, kWimHeaderSize, 0) && ::fsync(fd) == 0;
}

bool StoreXmlResource(int fd, const std::string& resource, WimHeader& previous, bool& hadIntegrity)
{
    if (!ReadWimHeader(fd, previous))
        return false;
    struct stat st{};
    if (::fstat(fd, &st) != 0)
        return false;
    const Entry blobs = readEntry(previous.bytes + kBlobTableEntry);
    hadIntegrity = readEntry(previous.bytes + kIntegrityEntry).offset != 0;
    if (blobs.flags & kFlagCompressed) {
        errno = ENOTSUP;
        return false;
    }
    std::vector<unsigned char> table(blobs.sizeInWim);
    if (!table.empty() && !readAll(fd, table.data(), table.size(), blobs.offset))
        return false;

    // Everything new goes past the end of the file as it is now.
    const uint64_t tableOffset = static_cast<uint64_t>(st.st_size);
    const uint64_t hole = 2 * static_cast<uint64_t>(resource.size()) + 65536;
    const uint64_t xmlOffset = tableOffset + table.size() + hole;
    if ((!table.empty() && !writeAll(fd, table.data(), table.size(), tableOffset)) ||
        !writeAll(fd, resource.data(), resource.size(), xmlOffset) || ::fdatasync(fd) != 0) {
        const int saved = errno;
        (void)::ftruncate(fd, st.st_size);
        errno = saved;
        return false;
    }
    WimHeader next = previous;
    Entry movedTable = blobs;
    movedTable.offset = table.empty() ? blobs.offset : tableOffset;
    writeEntry(next.bytes + kBlobTableEntry, movedTable);
    writeEntry(next.bytes + kXmlEntry, Entry{resource.size(), 0, xmlOffset, resource.size()});
    writeEntry(next.bytes + kIntegrityEntry, Entry{});
    return WriteWimHeader(fd, next);
}

bool StoreBootIndex(int fd, uint32_t index)
{
    WimHeader header;
    if (!ReadWimHeader(fd, header))
        return false;
    if (index > readLe(header.bytes + kImageCountOffset, 4)) {
        errno = EINVAL;
        return false;
    }
    Entry metadata;
    if (index > 0) {
        // Metadata resources appear in the blob table in image order.
        const Entry blobs = readEntry(header.bytes + kBlobTableEntry);
        if (blobs.flags & kFlagCompressed) {
            errno = ENOTSUP;
            return false;
        }
        std::vector<unsigned char> table(blobs.sizeInWim);
        if (!table.empty() && !readAll(fd, table.data(), table.size(), blobs.offset))
            return false;
        uint32_t seen = 0;
        bool found = false;
        for (size_t at = 0; at + kBlobRecordSize <= table.size(); at += kBlobRecordSize) {
            const Entry e = readEntry(table.data() + at);
            if ((e.flags & kFlagMetadata) && !(e.flags & kFlagSolid) && ++seen == index) {
                metadata = e;
                found = true;
                break;
            }
        }
        if (!found) {
            errno = EIO;
            return false;
        }
    }
    unsigned char part[kBootIndexOffset + 4 - kBootMetadataEntry];
    writeEntry(part, metadata);
    writeLe(part + kEntrySize, index, 4);
    return writeAll(fd, part, sizeof(part), kBootMetadataEntry) && ::fsync(fd) == 0;
}

} // namespace wimgapi
