// SPDX-License-Identifier: GPL-3.0-or-later
// Changes the layer makes to an image file without wimlib: a new XML resource
// and a new boot mark. Both keep the rule that makes every change of an image
// file safe against a kill at any point: new data goes past everything the
// header points at, is synced, and only then does one write of the header
// make it current.
//
// The XML resource is stored as [copy of the blob table][hole][XML]. wimlib's
// own in-place changes that add no data (a boot mark or a new name from
// wimlib-imagex info) write their XML straight after the blob table and the
// header last; the hole, at least as large as any XML wimlib would make of
// this one, keeps the XML the header points at untouched until wimlib's new
// header is written. The hole takes no disk space.
#pragma once

#include <cstdint>
#include <string>

namespace wimgapi {

constexpr size_t kWimHeaderSize = 208;

struct WimHeader {
    unsigned char bytes[kWimHeaderSize] = {};
};

// Reads and checks the header of an ordinary (not split, not pipable) file.
bool ReadWimHeader(int fd, WimHeader& header);
// Whether every resource the header of an image file points at (blob table,
// XML, integrity table) lies inside the file and claims no more unpacked
// bytes than its stored bytes can give. wimlib allocates what the header
// claims before it reads, so a forged header on a small file would cost
// gigabytes. Pipable files are checked the same way; files of other kinds
// pass, for wimlib to judge. The image metadata entries of the first part's
// blob table are checked too, unless the table is compressed: then
// `tableCompressed` (when given) is set, and the entries are checked with
// MetadataEntryFits once wimlib has unpacked the table.
bool HeaderFitsFile(const std::string& path, bool* tableCompressed = nullptr);
// Whether an image metadata entry of the blob table fits a file of
// `fileSize` bytes: wimlib loads the whole resource at its claimed size.
bool MetadataEntryFits(uint64_t storedSize, uint64_t offset, uint64_t originalSize, bool compressed, bool solid,
                       uint64_t fileSize);
// Writes the whole header in one write and syncs the file.
bool WriteWimHeader(int fd, const WimHeader& header);

// Stores `resource` (UTF-16LE XML with byte order mark) as the XML resource of
// the open file `fd` as described above. `previous` receives the header that
// was in force, so that a caller can put it back. The integrity table, if
// any, is dropped; `hadIntegrity` says so.
bool StoreXmlResource(int fd, const std::string& resource, WimHeader& previous, bool& hadIntegrity);

// Marks image `index` (0: none) as the boot image: the boot index and the
// boot image's metadata entry, written in one write of 28 bytes.
bool StoreBootIndex(int fd, uint32_t index);

} // namespace wimgapi
