// SPDX-License-Identifier: GPL-3.0-or-later
// Owners of what the imaging layer hands out: file, image and find handles
// (closed with WIMCloseHandle) and the XML texts it allocates (freed with free).
#pragma once

#include "imaging/imagingapi.h"

#include <QString>

#include <cstdlib>
#include <memory>

class WimHandle {
public:
    WimHandle() = default;
    explicit WimHandle(HANDLE handle) : m_handle(handle) {}
    ~WimHandle() { close(); }
    WimHandle(const WimHandle&) = delete;
    WimHandle& operator=(const WimHandle&) = delete;
    WimHandle(WimHandle&& other) noexcept : m_handle(other.release()) {}
    WimHandle& operator=(WimHandle&& other) noexcept;

    HANDLE get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    HANDLE release();
    // Closes the handle now; false when there was none or the layer refused.
    bool close();
    void reset(HANDLE handle);

private:
    HANDLE m_handle = nullptr;
};

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using LayerText = std::unique_ptr<void, FreeDeleter>;

// The five ways of opening an image file. Each tries once with its flags and,
// when that gives no handle, once more with WIM_FLAG_ALLOW_LZMS. An empty
// handle on failure (errno from the layer).
WimHandle OpenImageFileRead(const QString& path);
WimHandle OpenImageFileReadWrite(const QString& path);
WimHandle OpenImageFileAppend(const QString& path, uint32_t compression);
WimHandle CreateImageFileWrite(const QString& path, uint32_t compression);
WimHandle OpenImageFileModify(const QString& path, uint32_t compression);

// Creates the temporary folder (the system's when `folder` is empty) with its
// parents when missing and hands it to the open file (WIMSetTemporaryPath);
// a level that cannot be made is left to that call to report.
bool SetTemporaryFolder(HANDLE wim, const QString& folder);
