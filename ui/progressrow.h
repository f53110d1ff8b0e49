// SPDX-License-Identifier: GPL-3.0-or-later
// A page's progress display: the bar and its elapsed, remaining and count
// labels in one row, and the windows through which a running operation
// updates them.
#pragma once

#include "imaging/taskcontext.h"
#include "imaging/taskwindow.h"

class QHBoxLayout;
class QLabel;
class QProgressBar;
class QWidget;

class TaskProgressRow {
public:
    // Makes the widgets (object names "progress", "elapsed", "remaining",
    // "fileCount") as children of `parent` and returns their row.
    QHBoxLayout* build(QWidget* parent);
    // Points the record's label and bar windows at the row's widgets; the
    // row must outlive the record's runs (it is a member of the page).
    void attach(TASKCONTEXT& ctx);

    QProgressBar* bar = nullptr;
    QLabel* elapsed = nullptr;
    QLabel* remaining = nullptr;
    QLabel* count = nullptr;

private:
    FunctionTaskWindow m_elapsedWindow;
    FunctionTaskWindow m_remainingWindow;
    FunctionTaskWindow m_countWindow;
    FunctionTaskWindow m_barWindow;
};
