// SPDX-License-Identifier: GPL-3.0-or-later
// The record of one page's operation, shared by the page (GUI thread), its
// worker, the ticker and the imaging message callbacks; and the process-wide
// objects of the one operation that runs at a time.
#pragma once

#include "common/cevent.h"
#include "common/cthread.h"
#include "imaging/configlists.h"
#include "imaging/ticker.h"
#include "imaging/taskwindow.h"
#include "imaging/wimgapi/wimgapi.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

struct WIMFILEINFO;

// The page owns the record and everything it points to; the worker never
// frees it, and it outlives the worker. Fields the callbacks update while the
// ticker or the GUI thread reads them are atomic.
struct TASKCONTEXT : ConfigurationLists {
    // Non-zero asks the operation to stop. Written on the GUI thread inside
    // AbortLock (RequestCancel), read by the callbacks without the lock.
    std::atomic<uint32_t> Cancel{0};

    // The windows (null: none). See taskwindow.h.
    TaskWindow* PartListBox = nullptr;
    TaskWindow* ElapsedLabel = nullptr;
    TaskWindow* RemainingLabel = nullptr;
    TaskWindow* CountLabel = nullptr;
    uint32_t RootLength = 0;
    TaskWindow* ProgressBar = nullptr;
    TaskWindow* InfoBox = nullptr; // the page's information box (LogStep, LogResult)

    QString ImagePath;  // 511 characters at most (kPathUnits)
    QString TargetPath; // apply target, capture source, export or split target
    QString TempPath;
    QString ElapsedPrefix;   // language string 51
    QString RemainingPrefix; // language string 52
    QString CountPrefix;     // language string 53
    uint32_t CompressionType = 2;

    std::atomic<uint64_t> Processed{0}; // files done, or split parts made
    std::atomic<uint64_t> Total{0};
    uint32_t ImageIndex = 0;
    std::atomic<uint64_t> RemainingKnown{0};
    std::atomic<uint32_t> LastPercent{0};
    double ImageShare = 0;
    double ShareDone = 0;
    uint64_t SizeTotal = 0;
    uint64_t SizeDone = 0;
    std::atomic<CEVENT*> GateHandle{nullptr};
    // AlignmentList, ExclusionList, ExclusionExceptionList and
    // CompressionExclusionList come from ConfigurationLists.
    uint16_t PartNumber = 1;
    WIM_MESSAGE_CALLBACK MessageCallback = nullptr;
    std::atomic<uint64_t> StartTick{0};
    WIMFILEINFO* FileInfo = nullptr;
    QString PercentText; // "N%", last posted; written by the posting thread only
    int32_t PercentLength = 0;

    // Where updates go: a QObject living on the GUI thread (the page itself,
    // usually); it and the windows must outlive the run. Null applies them at
    // once on the calling thread, which is what a run without a display and
    // the tests want.
    QPointer<QObject> Poster;

    // Set by a forced stop: the worker is abandoned, every later callback
    // answers abort and nothing it posts is shown any more.
    std::atomic<uint32_t> Abandoned{0};
    // Bumped by every start and forced stop; an update made under an older
    // value is dropped when it arrives.
    std::atomic<uint64_t> RunId{0};

    // The last step LogStep wrote and the first failure LogResult logged
    // ("<step>失败: <error text>"), for the one line a command-line run
    // prints when it fails. Written by the worker only.
    QString LastStep;
    QString FailureText;

    // Whatever the windows and the poster above belong to, when it must
    // live as long as this record rather than as long as its widgets.
    std::shared_ptr<void> KeepAlive;

    // This operation's elapsed-time ticker (StartTicker, StopTicker).
    const std::unique_ptr<TaskTicker> Ticker = std::make_unique<TaskTicker>();

    // Brings the counters, texts and flags back to their state before a run;
    // the windows, the poster and the lists stay.
    void resetProgress();
};

// The run event: signalled while an operation may run, reset while a stop
// question is open so that the callbacks halt on it. Created signalled on
// first use. It belongs to this process; one operation runs per process.
CEVENT& OperationGate();

// The one worker thread of the process.
CTHREAD& TaskWorker();

// Milliseconds of a monotonic clock (GetTickCount64's role).
uint64_t TickCount();
