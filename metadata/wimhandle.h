// SPDX-License-Identifier: GPL-3.0-or-later
// Owners of what the imaging layer hands out: file, image and find handles
// (closed with WIMCloseHandle) and the XML texts it allocates (freed with free).
#pragma once

#include "imaging/imagingapi.h"

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
