// SPDX-License-Identifier: GPL-3.0-or-later
// The record of one operation of the operations library: the shared task
// record plus what the apply, capture, export and split steps read. The
// command line and the pages fill the same record; what differs between
// them (progress display or none, the target made or checked, what happens
// when the work is done) is a field here.
#pragma once

#include "imaging/taskcontext.h"
#include "metadata/imagefileinfo.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// What the worker asks its caller to do. Each one arrives through the
// record's poster on the GUI thread, in order with the step log (at once on
// the worker's thread when there is no poster); a missing function is
// skipped.
struct OperationEvents {
    // The long imaging call is about to run: show the progress display, lock
    // the page and show the stop button in place of the start button.
    std::function<void()> callStarted;
    // The long imaging call has returned: unlock the page.
    std::function<void()> callEnded;
    // The image handle is closed: the start button is back.
    std::function<void()> stopButtonDone;
    // The work succeeded and the caller asked for the folder to be opened.
    std::function<void(const QString& folder)> openFolder;
    // The worker has ended; true when the work succeeded.
    std::function<void(bool ok)> finished;
};

struct OperationTask : TASKCONTEXT {
    // With a progress display (a page, or the command line's progress
    // dialog) the progress callbacks run and the ticker keeps the elapsed
    // time; without one only the capture configuration filters.
    bool ShowProgress = true;
    bool CreateTarget = false;   // apply: a missing target folder is made
    bool ClearSecurity = false;  // apply: no file or folder ACLs ("/NotAcl", "清除文件安全权限")
    bool OpenWhenDone = false;   // apply: Events.openFolder once the image is applied
    bool Boot = false;           // capture and export: mark the new image bootable
    bool Append = false;         // capture: add to the file instead of making it anew
    QString ImageName;           // capture: the new image's name (empty: none)
    QString ImageDescription;    // capture: the texts written with the name
    QString ImageDisplayName;    //   (each one empty: its element is left alone)
    QString ImageDisplayDescription;
    QString ImageFlags;
    QStringList OwnFiles;        // capture: paths below the source (from its root,
                                 // "/" first) that the capture writes itself
    uint64_t PartMegabytes = 0;  // split: the part size
    bool AllowDuplicates = false; // export: an image the target holds already is added again
    int WimlibError = 0;         // optimise and convert: wimlib's result code
    WIMFILEINFO FileCopy;        // FileInfo points here: the caller may read
                                 // another file while the worker still reads it
    std::vector<WIMIMAGEINFO> Images; // export of every image: per-image file counts
    OperationEvents Events;
    bool Succeeded = false;      // the worker's result, when it ends

    // The source file's information; FileInfo then points at the copy.
    void setFileInfo(const WIMFILEINFO& info);
};

// Posts an event of the worker (see OperationEvents) through the poster.
void PostEvent(OperationTask& task, std::function<void()> event);

// The errno a failed step left, kept across the calls that undo the steps
// before it, so that the overall line and the command line's failure line
// name the real cause.
class ErrnoKeeper {
public:
    ErrnoKeeper();
    ~ErrnoKeeper();
    ErrnoKeeper(const ErrnoKeeper&) = delete;
    ErrnoKeeper& operator=(const ErrnoKeeper&) = delete;

private:
    int m_saved;
};
