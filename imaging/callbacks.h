// SPDX-License-Identifier: GPL-3.0-or-later
// The imaging message callbacks of the operations. Each is registered with
// WIMRegisterMessageCallback(file, callback, &ctx) and runs on the thread of
// the imaging call; none of them throws. Messages a callback does not handle
// return 0 without effect.
#pragma once

#include "imaging/taskcontext.h"

#include <wimlib.h>

// With a window: progress, file counts, the file filter, pause and abort.
DWORD ApplyProgressCallback(DWORD msg, WPARAM wParam, LPARAM lParam, void* user);
DWORD CaptureProgressCallback(DWORD msg, WPARAM wParam, LPARAM lParam, void* user);
DWORD ExportProgressCallback(DWORD msg, WPARAM wParam, LPARAM lParam, void* user);
DWORD ExportAllProgressCallback(DWORD msg, WPARAM wParam, LPARAM lParam, void* user);
DWORD SplitProgressCallback(DWORD msg, WPARAM wParam, LPARAM lParam, void* user);
// Without a window: only the capture configuration decisions.
DWORD ApplyFilterCallback(DWORD msg, WPARAM wParam, LPARAM lParam, void* user);
DWORD CaptureFilterCallback(DWORD msg, WPARAM wParam, LPARAM lParam, void* user);

// The wimlib progress function of a conversion through wimlib (export page):
// percent of the written bytes, posted when it changes; then the pause and
// abort answer. `user` is the TASKCONTEXT.
enum wimlib_progress_status WimlibConvertProgress(enum wimlib_progress_msg msg, union wimlib_progress_info* info,
                                                  void* user);

// Waits without limit for the operation's gate, then answers abort
// (0xFFFFFFFF) when the operation is to stop, else 0.
DWORD WaitAndAsk(TASKCONTEXT& ctx);
