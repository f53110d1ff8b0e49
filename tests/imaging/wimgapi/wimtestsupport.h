// SPDX-License-Identifier: GPL-3.0-or-later
// Fixtures for the imaging layer's tests: trees on disk, tree comparison,
// image files made through the layer, and the wimlib command-line tool.
#pragma once

#include "imaging/wimgapi/wimgapi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wimtest {

std::u16string U(const std::string& s);
std::string S(const char16_t* s);

// A fresh scratch folder below the test home.
std::string ScratchDir(const std::string& name);

void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);

// A small tree with what a capture has to keep: nested folders, an empty
// folder, a hard link pair, a symbolic link and non-ASCII names.
void MakeSampleTree(const std::string& root);

// Empty when the trees hold the same names, types, contents, link targets
// and hard-link groups; otherwise a description of the first difference.
std::string CompareTrees(const std::string& a, const std::string& b);

// Runs a shell command with its output discarded; returns its exit status.
int RunCommand(const std::string& command);
std::string RunOutput(const std::string& command);
bool WimVerify(const std::string& wim);
std::string Quote(const std::string& s);

// Closes a layer handle at the end of a scope.
class Handle {
public:
    explicit Handle(HANDLE h = nullptr) : m_h(h) {}
    ~Handle();
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& o) noexcept : m_h(o.m_h) { o.m_h = nullptr; }
    HANDLE get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    void reset(HANDLE h = nullptr);
    // Gives the handle up without closing it, for a test that closes it
    // itself and looks at the result.
    HANDLE release()
    {
        HANDLE h = m_h;
        m_h = nullptr;
        return h;
    }

private:
    HANDLE m_h;
};

// The layer's list of mounts (level 1): the mount table's and the records'.
std::vector<WIM_MOUNT_INFO_LEVEL1> MountInfo();
// Opens an image file for reading (retrying with the LZMS flag as callers do).
Handle OpenRead(const std::string& path);
Handle OpenWrite(const std::string& path, DWORD disposition, DWORD compression = WIM_COMPRESS_LZX);
// A new file holding one capture of each given folder.
void CaptureNew(const std::string& wim, const std::vector<std::string>& sources,
                DWORD compression = WIM_COMPRESS_LZX);

// Records every message a callback receives; optionally aborts.
struct MessageLog {
    struct Entry {
        DWORD msg;
        WPARAM w;
        LPARAM l;
    };
    std::vector<Entry> entries;
    std::vector<std::string> processed; // paths of WIM_MSG_PROCESS
    std::vector<std::pair<std::string, int64_t>> parts; // WIM_MSG_SPLIT
    std::string excludeSuffix;          // PROCESS paths ending so are excluded
    DWORD abortOn = 0;                  // message that answers abort
    int abortAfter = 0;                 // ... after this many of them
    int count(DWORD msg) const;
    static DWORD Callback(DWORD msg, WPARAM w, LPARAM l, void* user);
};

// A scratch folder `dir` holding the sample tree `tree`; with a file name,
// also `wim`, a new file with one image of the tree and one of tree/sub.
class SampleTreeTest : public ::testing::Test {
protected:
    void SetUp() override;
    virtual const char* wimName() const { return nullptr; }
    std::string dir;
    std::string tree;
    std::string wim;
};

} // namespace wimtest
