// SPDX-License-Identifier: GPL-3.0-or-later
// The image browser's commands as wimlib tasks, and the rules around them:
// which extractions run in the progress dialog, where their results land,
// the whole-partition rule, the selection after a delete, when a file may be
// optimised, and renaming an image or a path in place. No widgets: the page
// runs the tasks (RunWimlibTask, or its worker for the quick ones).
#pragma once

#include "imaging/mountlist.h"
#include "imaging/taskwimlib.h"

#include <QString>

#include <cstdint>
#include <vector>

// Files above this size, and folders, are extracted in the progress dialog;
// smaller files are extracted at once and the dialog only reports a failure.
inline constexpr uint64_t kDirectExtractLimit = 256ULL * 1024 * 1024;
bool ExtractRunsInDialog(int kind, uint64_t size);

// "\dir\name" for a name in the folder `dirPath` ("" at the image root).
QString ImageChildPath(const QString& dirPath, const QString& name);
// The last component of a disk path, without a trailing "/".
QString LastPathComponent(const QString& path);

// Image `image` of `wimPath` into folder/Image(k); TargetPath is that folder.
WIMLIBTASK ExtractImageTask(const QString& wimPath, uint32_t image, const QString& folder);
// The path `name` of `dirPath` into `folder`, below the path's own folders
// (folder + dirPath + "/" + name). With `flat` it lands directly in the
// folder instead (dragging out).
WIMLIBTASK ExtractItemTask(const QString& wimPath, uint32_t image, const QString& dirPath, const QString& name,
                           const QString& folder, bool flat = false);
// The name of a part of the split set the extraction task reads that is not
// there: a part it attaches, or the first part when a later one was chosen
// and its set's first part cannot be found. Empty when nothing is missing.
QString MissingSplitPart(const WIMLIBTASK& task);
// Where ExtractItemTask (not flat) puts the item's folder: folder + dirPath,
// and for a folder row the folder itself.
QString ExtractedItemFolder(const QString& folder, const QString& dirPath, const QString& name, int kind);

// A new image named after the folder's last component.
WIMLIBTASK AddImageTask(const QString& wimPath, const QString& folder);
// Whether `path` is a whole file system (the root, or a mount point): such a
// path is not added into an image.
bool IsWholePartition(const QString& path);
// The file or folder `path` into `dirPath` of the image, under its own name.
WIMLIBTASK AddItemTask(const QString& wimPath, uint32_t image, const QString& dirPath, const QString& path);
WIMLIBTASK DeleteImageTask(const QString& wimPath, uint32_t image);
WIMLIBTASK DeletePathTask(const QString& wimPath, uint32_t image, const QString& dirPath, const QString& name);
// The file rebuilt in place; `recompress` compresses every resource again.
WIMLIBTASK OptimiseTask(const QString& path, bool recompress);

// The row selected after deleting `row` from a list that now has
// `realRows` rows: the same number, else the one before, never below 0.
int SelectionAfterDelete(int row, int realRows);

// An existing image file that is writable, has its owner's write bit (the
// read-only mark) and is not mounted (paths compared exactly, as Linux names
// are case-sensitive, or as the same file).
bool CanOptimise(const QString& path, const std::vector<MountEntry>& mounts);

// The text a rename starts from: the row name, or in the image list the
// image's name without its "Image(k)" prefix.
QString RenameStartText(bool imageList, const QString& rowName);

// Renaming in place, on the calling thread; wimlib's result (0 = success).
// An empty name leaves the image unnamed. A path is refused
// (WIMLIB_ERR_INVALID_PARAM) when the new name is empty, holds "/" or "\",
// or names an entry that exists already: wimlib would replace that entry.
int RenameImage(const QString& wimPath, uint32_t image, const QString& name);
int RenameImagePath(const QString& wimPath, uint32_t image, const QString& dirPath, const QString& oldName,
                    const QString& newName);

// The folder dragged rows are extracted into before they are handed to a
// file manager: a fresh folder below one temporary folder that the program
// removes when it ends. Empty when it cannot be made.
QString NewDragFolder();
