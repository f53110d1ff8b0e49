// SPDX-License-Identifier: GPL-3.0-or-later
// What is mounted: the FUSE mounts of wimlib found in the mount table, and
// the layer's own records of the mounts its service made, which are kept only
// to tell remountable mounts (whose service ended) and to remount them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wimgapi {

struct MountRecord {
    std::string mountPath;
    std::string wimPath;
    uint32_t index = 0;
    bool readWrite = false;
    std::string tempPath; // the staging parent of a read-write mount
    std::string staging;  // the staging folder wimlib made in it for this mount
    std::string token;    // identifies the service that wrote the record
};

struct LayerMount {
    std::string mountPath;
    std::string wimPath;
    uint32_t index = 0;
    bool readWrite = false;
    bool inTable = false; // present in the mount table
    bool alive = false;   // its service answers
    bool recorded = false;
    MountRecord record;
};

// $XDG_STATE_HOME/kestrel/mounts (default ~/.local/state/kestrel/mounts).
std::string MountRecordDir();
std::string MountRecordPath(const std::string& mountPath);
bool WriteMountRecord(const MountRecord& record);
bool ReadMountRecord(const std::string& file, MountRecord& record);
std::vector<MountRecord> ReadMountRecords();
// Removes the record of a mount folder; with a token, only when it matches.
void RemoveMountRecord(const std::string& mountPath, const std::string& token = {});

// The mount points of type fuse.wimfs in /proc/self/mountinfo.
std::vector<std::string> WimfsMountPoints();

// All known mounts: the table's, enriched by the mount root's attributes
// (image file, image number, read-write), and the records without a mount.
std::vector<LayerMount> ListMounts();

// Whether a live read-write mount serves an image of this file. Its commit
// writes from the view it had when mounted, so the file must not change
// underneath it.
bool MountedForWriting(const std::string& wimPath);

} // namespace wimgapi
