// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress.h"

#include "utf16.h"

#include <sys/stat.h>

namespace wimgapi {

ProgressBridge::ProgressBridge(WimFile* file)
    : m_file(file), m_callbacks(CallbacksFor(file)), m_start(std::chrono::steady_clock::now()),
      // The first query goes out at once: a stop asked before a short write
      // must still reach it.
      m_lastQuery(m_start - std::chrono::seconds(1))
{
    if (m_file)
        wimlib_register_progress_function(m_file->wim, &ProgressBridge::onWimlib, this);
}

ProgressBridge::~ProgressBridge()
{
    if (m_file)
        wimlib_register_progress_function(m_file->wim, nullptr, nullptr);
}

bool ProgressBridge::send(DWORD msg, WPARAM w, LPARAM l)
{
    if (m_aborted)
        return false;
    for (const CallbackEntry& entry : m_callbacks) {
        if (entry.callback(msg, w, l, entry.user) == WIM_MSG_ABORT_IMAGE && !m_ignoreAbort) {
            m_aborted = true;
            return false;
        }
    }
    return true;
}

bool ProgressBridge::askProcess(const std::string& path, bool& keep)
{
    const std::u16string text = ToUtf16(path);
    BOOL process = TRUE;
    const bool ok = send(WIM_MSG_PROCESS, reinterpret_cast<WPARAM>(text.c_str()), reinterpret_cast<LPARAM>(&process));
    keep = process != FALSE;
    return ok;
}

bool ProgressBridge::queryAbort()
{
    // Callbacks are asked every 100 ms at most, which keeps an abort prompt
    // without costing time on the many small messages of a big tree.
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastQuery < std::chrono::milliseconds(100))
        return !m_aborted;
    m_lastQuery = now;
    return send(WIM_MSG_QUERY_ABORT, 0, 0);
}

void ProgressBridge::setFileTotal(uint64_t files)
{
    m_files = files;
    m_rangeSent = true;
    send(WIM_MSG_SETRANGE, 0, static_cast<LPARAM>(files));
}

bool ProgressBridge::reportBytes(uint64_t done, uint64_t total)
{
    const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    if (percent == m_lastPercent)
        return queryAbort();
    m_lastPercent = percent;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start).count();
    // Remaining time is extrapolated from the rate so far; 0 while unknown.
    uint64_t remaining = 0;
    if (done > 0 && total > done)
        remaining = static_cast<uint64_t>(static_cast<double>(elapsed) * static_cast<double>(total - done) /
                                          static_cast<double>(done));
    if (!send(WIM_MSG_PROGRESS, static_cast<WPARAM>(percent), static_cast<LPARAM>(remaining)))
        return false;
    if (m_rangeSent && m_files > 0)
        return send(WIM_MSG_SETPOS, 0, static_cast<LPARAM>(m_files * static_cast<uint64_t>(percent) / 100));
    return true;
}

void ProgressBridge::protectFile(const std::string& path)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0)
        return;
    m_protecting = true;
    m_protectedDevice = st.st_dev;
    m_protectedInode = st.st_ino;
}

bool ProgressBridge::reportPart(const std::string& partPath)
{
    struct stat st{};
    int64_t size = ::stat(partPath.c_str(), &st) == 0 ? st.st_size : 0;
    const std::u16string text = ToUtf16(partPath);
    const char16_t* textPtr = text.c_str();
    return send(WIM_MSG_SPLIT, reinterpret_cast<WPARAM>(&textPtr), reinterpret_cast<LPARAM>(&size));
}

enum wimlib_progress_status ProgressBridge::onWimlib(enum wimlib_progress_msg msg, union wimlib_progress_info* info,
                                                     void* context)
{
    // No exception may unwind through wimlib.
    try {
        return static_cast<ProgressBridge*>(context)->handle(msg, info);
    } catch (...) {
        return WIMLIB_PROGRESS_STATUS_ABORT;
    }
}

enum wimlib_progress_status ProgressBridge::handle(enum wimlib_progress_msg msg, union wimlib_progress_info* info)
{
    bool ok = true;
    switch (msg) {
    case WIMLIB_PROGRESS_MSG_TEST_FILE_EXCLUSION: {
        bool keep = true;
        ok = askProcess(info->test_file_exclusion.path, keep);
        info->test_file_exclusion.will_exclude = !keep;
        break;
    }
    case WIMLIB_PROGRESS_MSG_SCAN_DENTRY:
        if (info->scan.status == wimlib_progress_info::wimlib_progress_info_scan::WIMLIB_SCAN_DENTRY_OK) {
            ++m_scanned;
            // A count every 256 entries is enough for a "files found" label.
            if (m_scanned % 256 == 0)
                ok = send(WIM_MSG_SCANNING, 0, static_cast<LPARAM>(m_scanned));
            else
                ok = queryAbort();
        }
        break;
    case WIMLIB_PROGRESS_MSG_SCAN_END:
        ok = send(WIM_MSG_SCANNING, 0, static_cast<LPARAM>(m_scanned));
        if (ok && !m_rangeSent)
            setFileTotal(info->scan.num_nondirs_scanned + info->scan.num_dirs_scanned);
        break;
    case WIMLIB_PROGRESS_MSG_WRITE_STREAMS:
        ok = m_splitting ? queryAbort()
                         : reportBytes(info->write_streams.completed_bytes, info->write_streams.total_bytes);
        break;
    case WIMLIB_PROGRESS_MSG_EXTRACT_STREAMS:
        ok = reportBytes(info->extract.completed_bytes, info->extract.total_bytes);
        break;
    case WIMLIB_PROGRESS_MSG_SPLIT_BEGIN_PART: {
        struct stat st{};
        if (m_protecting && ::stat(info->split.part_name, &st) == 0 && st.st_dev == m_protectedDevice &&
            st.st_ino == m_protectedInode) {
            m_refused = true;
            ok = false;
        } else {
            m_partsBegun.emplace_back(info->split.part_name);
            ok = queryAbort();
        }
        break;
    }
    case WIMLIB_PROGRESS_MSG_SPLIT_END_PART:
        ok = reportPart(info->split.part_name) && reportBytes(info->split.completed_bytes, info->split.total_bytes);
        break;
    default:
        ok = queryAbort();
        break;
    }
    return ok ? WIMLIB_PROGRESS_STATUS_CONTINUE : WIMLIB_PROGRESS_STATUS_ABORT;
}

} // namespace wimgapi
