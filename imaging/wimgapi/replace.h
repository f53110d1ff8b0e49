// SPDX-License-Identifier: GPL-3.0-or-later
// Replacing an image file as a whole: a complete new file written beside it
// takes its place by one rename, under the same lock every change of the
// file holds.
#pragma once

#include <string>

namespace wimgapi {

// A free name beside `path` for the new file that is to replace it
// ("<path>.kestrel-new-<pid>-XXXXXX", created empty). Names of this kind left
// by processes that no longer run (killed during a replacement) are removed.
bool MakeReplacementName(const std::string& path, std::string& fresh);

// Moves `fresh` over `target` (which need not exist). Holds the target's lock
// throughout; fails with EBUSY and changes nothing when another writer holds
// it, when the target is mounted read-write, or when the target changed
// places meanwhile. The target's permission bits (and owner, where allowed)
// carry over; the new file and its folder are synced (a new file that takes
// no file's place is not: nothing can be lost). `fresh` stays where it
// is on failure.
bool ReplaceImageFile(const std::string& fresh, const std::string& target);

// Renames `from` to `to` unless `to` exists (EEXIST then). File systems that
// cannot refuse atomically (network shares, some FUSE file systems) get a
// check before a plain rename.
bool RenameNoReplace(const std::string& from, const std::string& to);

} // namespace wimgapi
