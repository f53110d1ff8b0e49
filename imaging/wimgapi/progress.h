// SPDX-License-Identifier: GPL-3.0-or-later
// Turns wimlib's progress messages into the imaging API's WIM_MSG_* callback
// messages for the duration of one operation.
#pragma once

#include "handles.h"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace wimgapi {

class ProgressBridge {
public:
    // Registers itself as wimlib's progress function of the file's WIMStruct
    // until destroyed (a commit replaces that WIMStruct by a fresh one).
    // Without a file (an unmount) only the callbacks registered for every
    // file hear it, and the caller hands onWimlib to wimlib itself.
    explicit ProgressBridge(WimFile* file);
    ~ProgressBridge();
    ProgressBridge(const ProgressBridge&) = delete;
    ProgressBridge& operator=(const ProgressBridge&) = delete;

    // Sends one message to every callback; returns false when one asked to abort.
    bool send(DWORD msg, WPARAM w, LPARAM l);
    // Asks the callbacks whether a path is to be processed (WIM_MSG_PROCESS);
    // `keep` becomes false when one excluded it. Returns false on abort.
    bool askProcess(const std::string& path, bool& keep);
    bool aborted() const { return m_aborted; }
    // A commit from a mount cannot be stopped half way without losing the
    // changes: the callbacks' abort answer is not passed on to wimlib.
    void ignoreAbort() { m_ignoreAbort = true; }

    // Percent of bytes done, with an estimated remaining time; sent only when
    // the percent changes so that a huge image does not flood the caller.
    bool reportBytes(uint64_t done, uint64_t total);
    void setFileTotal(uint64_t files);
    // Splits: the part just written, its path and size.
    bool reportPart(const std::string& partPath);
    // A split reports its percent per finished part; the byte counts of the
    // single parts' writes would make it jump back.
    void setSplitting() { m_splitting = true; }
    // Split parts that would overwrite this file (the split's own source)
    // stop the split before they are opened; refused() tells afterwards.
    void protectFile(const std::string& path);
    bool refused() const { return m_refused; }
    // The parts the split has begun to write, in order.
    const std::vector<std::string>& partsBegun() const { return m_partsBegun; }

    static enum wimlib_progress_status onWimlib(enum wimlib_progress_msg msg, union wimlib_progress_info* info,
                                                void* context);

private:
    enum wimlib_progress_status handle(enum wimlib_progress_msg msg, union wimlib_progress_info* info);
    bool queryAbort();

    WimFile* m_file;
    std::vector<CallbackEntry> m_callbacks;
    bool m_aborted = false;
    bool m_ignoreAbort = false;
    int m_lastPercent = -1;
    uint64_t m_files = 0;
    uint64_t m_scanned = 0;
    bool m_rangeSent = false;
    bool m_splitting = false;
    bool m_protecting = false;
    bool m_refused = false;
    std::vector<std::string> m_partsBegun;
    dev_t m_protectedDevice = 0;
    ino_t m_protectedInode = 0;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastQuery;
};

} // namespace wimgapi
