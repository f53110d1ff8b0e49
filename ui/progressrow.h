// SPDX-License-Identifier: GPL-3.0-or-later
// A page's progress display: the bar and its elapsed, remaining and count
// labels in one row, and the windows through which a running operation
// updates them.
#pragma once

#include "imaging/taskcontext.h"
#include "imaging/taskwindow.h"

#include <QElapsedTimer>
#include <QString>

class QHBoxLayout;
class QLabel;
class QProgressBar;
class QTimer;
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
    void showPercent(int percent, const QString& text);

    FunctionTaskWindow m_elapsedWindow;
    FunctionTaskWindow m_remainingWindow;
    FunctionTaskWindow m_countWindow;
    FunctionTaskWindow m_barWindow;
    // The bar repaints at once on every change, so an operation's updates
    // reach it at most every kBarInterval ms; the latest one always shows.
    QTimer* m_barTimer = nullptr;
    QElapsedTimer m_barShown;
    int m_pendingPercent = 0;
    QString m_pendingText;
};
