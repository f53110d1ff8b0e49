// SPDX-License-Identifier: GPL-3.0-or-later
// What the export, split and conversion steps check about their target
// before they write: that it is not the source itself, and which images it
// holds already.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// Whether `target` names the same file as `source` or as another part of
// the split set `source` belongs to (parts 1 .. totalParts, named after
// `firstPart`), by path or by device and inode (a link, a second name).
// A target that does not exist is never the source.
bool TargetIsSource(const QString& firstPart, uint32_t totalParts, const QString& target);

// Whether any of the first `partCount` parts a split into `target` would
// write (target, target2, ...) is the source file.
bool SplitTargetHitsSource(const QString& source, const QString& target, uint32_t partCount);

// The identity of an image: the SHA-1 of its metadata resource (its whole
// tree: names, attributes, times, security and the hashes of its data) and
// the time it was captured. An export keeps both, whatever the image is
// named; two captures of the same unchanged tree differ in their time.
struct ImageIdentity {
    std::array<uint8_t, 20> metadataHash{};
    QString creationTime; // CREATIONTIME of its XML, HIGHPART and LOWPART
    bool operator==(const ImageIdentity&) const = default;
};

// The identities of the images of an image file (part 1 of a set), image 1
// first. An empty list for a file that does not exist; nothing when the file
// cannot be read or wimlib is not bound.
std::optional<std::vector<ImageIdentity>> ReadImageIdentities(const QString& path);
