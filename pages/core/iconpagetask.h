// SPDX-License-Identifier: GPL-3.0-or-later
// The icon page's changes of an image file: writing or deleting the icon of
// image 1 with its step log, and rebuilding the thumbnail cache. They run on
// the task worker so that a large file does not hold up the window.
#pragma once

#include "metadata/imageicon.h"
#include "pages/core/operationtask.h"

// The record of one icon task. The worker reads ImagePath, TempPath,
// EncodedIcon (empty: delete) and PreviewSize; it leaves the outcome in
// Succeeded, IconResult, MetadataStored and StoredIcon.
struct IconTask : OperationTask {
    QString EncodedIcon;
    int PreviewSize = 0;        // the stored icon is read again at this size
    int IconResult = kIconOk;   // WriteImageIconXml / DeleteImageIconXml
    bool MetadataStored = false;
    IMAGEICON StoredIcon;       // after a successful task
    int CacheRemoved = 0;       // RebuildIconCacheWorker: RebuildIconCache's result
};

// RunIconTask: 195 or 196, then open the file for a change (11), set its
// temporary folder (13), load image 1 (14), change its icon (197 or 198,
// followed by 199 or 200 when the metadata was not changed), close the
// image (16) and the file (18), each step with its result; 201 when every
// step succeeded, else 202. The handles opened are closed whatever failed.
void RunIconTask(IconTask& task);

// RebuildIconCache on the worker; the page logs when it returns.
void RebuildIconCacheWorker(IconTask& task);
