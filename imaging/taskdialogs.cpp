// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/taskdialogs.h"

#include <atomic>

namespace {
std::atomic<TaskDialogs*> g_dialogs{nullptr};
}

void RegisterTaskDialogs(TaskDialogs* dialogs)
{
    g_dialogs = dialogs;
}

TaskDialogs* RegisteredTaskDialogs()
{
    return g_dialogs.load();
}
