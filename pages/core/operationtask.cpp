// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/operationtask.h"

#include "imaging/progress.h"

#include <cerrno>

void OperationTask::setFileInfo(const WIMFILEINFO& info)
{
    FileCopy = info;
    FileInfo = &FileCopy;
    PartNumber = info.PartNumber;
}

void PostEvent(OperationTask& task, std::function<void()> event)
{
    if (event)
        PostToPoster(task, std::move(event));
}

ErrnoKeeper::ErrnoKeeper() : m_saved(errno) {}

ErrnoKeeper::~ErrnoKeeper()
{
    errno = m_saved;
}
