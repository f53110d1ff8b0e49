// SPDX-License-Identifier: GPL-3.0-or-later
// The export, split and optimise page without its widgets: which controls
// the chosen task enables, starting the chosen task, and the stop question
// each task asks.
#pragma once

#include "pages/core/operationtask.h"

#include <QString>
#include <functional>
#include <vector>

enum class ExportTask : int { Export = 0, Split = 1, Optimize = 2 };

// What CheckExportInputs looks at.
struct ExportInputs {
    ExportTask task = ExportTask::Export;
    QString source;
    QString target;
    uint16_t totalParts = 0;       // of the source (0: unreadable)
    uint32_t compressionType = 0;  // of the source
    uint64_t partMegabytes = 0;    // the part size field
    uint32_t boxCompression = 2;   // the compression box's selection
};

struct ExportInputState {
    bool start = false;
    bool compressionEnabled = true;
    uint32_t targetCompression = 2; // what the target will be written with
    int message = 0;                // 113 or 356 for the information box, else 0
};

// The enabling rules of the three tasks. The compression box follows an
// existing target file (its own compression, the box disabled) for export,
// which adds to that file; split and optimise replace their target, so the
// box stays theirs.
ExportInputState CheckExportInputs(const ExportInputs& in);

// The page's choices for one run.
struct ExportRequest {
    ExportTask task = ExportTask::Export;
    QString source;
    QString target;
    QString tempFolder;
    uint32_t imageIndex = 0;        // 0: every image
    WIMFILEINFO fileInfo;           // of the source
    std::vector<WIMIMAGEINFO> images;
    uint32_t targetCompression = 2;
    uint64_t partMegabytes = 0;
    bool boot = false;              // 98
    bool noConfiguration = false;   // 100
    bool allowDuplicates = false;   // 362
};

enum class ExportStart {
    NotStarted,  // an operation runs, or the inputs are not complete
    Declined,    // the user keeps the existing target
    BadPartSize, // "分包大小设置错误！" was logged
    Started,
};

// For split and optimise into an existing file, asks `askOverwrite` (true =
// replace it; nothing is deleted here: the worker writes beside it). Fills
// `task` and starts ExportWorker, SplitWorker or OptimizeWorker on the
// process's worker thread; `prepareInfoBox` runs before anything is logged.
// The result reaches task.Events.finished.
ExportStart StartExportTask(OperationTask& task, const ExportRequest& request,
                            const std::function<bool()>& askOverwrite, const std::function<void()>& prepareInfoBox);

// The stop question of a running task: its lines (language strings, an
// empty line after the third) and which answers it offers.
struct ExportStopQuestion {
    std::vector<int> lines;
    bool safeStop = false;  // "安全终止": the worker ends at its next message
    bool forceStop = false; // "强行终止": the worker is abandoned
    bool safeAsYes = false; // the safe stop is the Yes button (else OK)
};
ExportStopQuestion StopQuestionFor(ExportTask task, uint32_t targetCompression);
