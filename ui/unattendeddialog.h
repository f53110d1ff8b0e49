// SPDX-License-Identifier: GPL-3.0-or-later
// The small progress window of the unattended command-line operations
// ("/ExtrImage", "/CompPath", an LZMS "/Export"), and the widget side of the
// engine's task dialogs.
#pragma once

#include "imaging/taskdialogs.h"
#include "imaging/taskrun.h"

#include <QDialog>
#include <QProgressBar>
#include <memory>

class QLabel;

// A progress bar with its percent text painted over it in red.
class PercentProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit PercentProgressBar(QWidget* parent = nullptr);
    void setPercentText(const QString& text);
    QString percentText() const { return m_percentText; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_percentText;
};

class UnattendedProgressDialog : public QDialog {
    Q_OBJECT
public:
    explicit UnattendedProgressDialog(UnattendedRun& run, QWidget* parent = nullptr);
    ~UnattendedProgressDialog() override;

    UnattendedEnd end() const { return m_end; }

    // The cancel label's action, by the run's stop mode. `askOverride`, when
    // set, answers the stop question instead of a message box.
    void cancelClicked();
    std::function<StopChoice()> askOverride;

    QLabel* actionLabel() const { return m_action; }
    QLabel* elapsedLabel() const { return m_elapsed; }
    QLabel* remainingLabel() const { return m_remaining; }
    QLabel* countLabel() const { return m_count; }
    QLabel* cancelLabel() const { return m_cancel; }
    PercentProgressBar* progressBar() const { return m_bar; }

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    StopChoice ask();
    void workerFinished();

    UnattendedRun& m_run;
    QLabel* m_action;
    QLabel* m_elapsed;
    QLabel* m_remaining;
    QLabel* m_count;
    QLabel* m_cancel;
    PercentProgressBar* m_bar;
    bool m_started = false;
    bool m_running = false;
    UnattendedEnd m_end = UnattendedEnd::Finished;
};

// Registers the widget dialogs with the engine (RegisterTaskDialogs). Call
// once a QApplication exists and a display is there.
void RegisterWidgetTaskDialogs();
