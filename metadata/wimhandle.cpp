// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata/wimhandle.h"

#include <utility>

WimHandle& WimHandle::operator=(WimHandle&& other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

HANDLE WimHandle::release()
{
    return std::exchange(m_handle, nullptr);
}

bool WimHandle::close()
{
    HANDLE handle = release();
    if (!handle || !ImagingApi.WIMCloseHandle)
        return false;
    return ImagingApi.WIMCloseHandle(handle) != FALSE;
}

void WimHandle::reset(HANDLE handle)
{
    close();
    m_handle = handle;
}
