// SPDX-License-Identifier: GPL-3.0-or-later
// The two changes of the image information page: deleting an image from a
// file, and storing an image's texts, flags and boot mark. Both run on the
// task worker so that a large file does not hold up the window.
#pragma once

#include "metadata/imagemetadata.h"
#include "pages/core/operationtask.h"

// The record of one change. The worker reads ImagePath, ImageIndex, TempPath
// and, for a change of texts, Edit; it leaves the result in Succeeded.
struct ImageInfoTask : OperationTask {
    IMAGEMETADATAEDIT Edit;
};

// "删除映像分卷...": opens the file for writing, hands it the temporary
// folder and deletes image ImageIndex; one result line, with the system's
// error text when it fails.
void DeleteImageWorker(ImageInfoTask& task);

// "修改映像信息...": stores Edit for image Edit.ImageIndex (empty texts leave
// their elements alone; the boot mark follows the texts); one result line.
void ModifyImageWorker(ImageInfoTask& task);
