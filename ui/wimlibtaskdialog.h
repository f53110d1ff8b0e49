// SPDX-License-Identifier: GPL-3.0-or-later
// The modal progress dialog of one wimlib task: percent, elapsed time, and on
// failure the red error report. "取消" (or Escape) asks the task to stop; the
// dialog closes once it has ended.
#pragma once

#include "imaging/taskwimlib.h"

#include <QDialog>
#include <memory>

class QLabel;
class PercentProgressBar;

class WimlibTaskDialog : public QDialog {
    Q_OBJECT
public:
    // Starts the task on the process's task worker when shown (it fails at
    // once while another operation runs). The worker works on a copy of the
    // task; the result is copied back when it arrives.
    WimlibTaskDialog(WIMLIBTASK& task, QWidget* parent = nullptr);
    ~WimlibTaskDialog() override;

    bool failed() const { return m_failed; }
    QLabel* errorLabel() const { return m_error; }
    QLabel* cancelLabel() const { return m_cancel; }
    QLabel* elapsedLabel() const { return m_elapsed; }
    PercentProgressBar* progressBar() const { return m_bar; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    void taskFinished(int result);
    void cancel();

    struct Shared;
    WIMLIBTASK& m_task;
    std::shared_ptr<Shared> m_shared;
    QLabel* m_elapsed;
    QLabel* m_error;
    QLabel* m_cancel;
    PercentProgressBar* m_bar;
    bool m_started = false;
    bool m_failed = false;
    bool m_running = false;
};

// Runs the dialog modally; returns task.Result (WIMLIB_ERR_ABORTED_BY_PROGRESS
// when the dialog was closed before the task ended).
int RunWimlibTaskDialog(QWidget* parent, WIMLIBTASK& task);
