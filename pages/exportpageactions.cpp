// SPDX-License-Identifier: GPL-3.0-or-later
// Starting and stopping the tasks of the export, split and optimise page:
// the overwrite question, the page's side of the worker's events, the
// progress display and the stop question of each task.
#include "pages/exportpage.h"
#include "pages/pagetext.h"

#include "common/settings.h"
#include "imaging/progress.h"
#include "imaging/taskrun.h"
#include "ui/sharedcontrols.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>

void ExportPage::setupTask()
{
    m_task.Poster = this;
    m_infoWindow.onAppendText = [this](const QString& text) { appendToLog(text); };
    m_partWindow.onAppendText = [this](const QString& text) { appendToLog(text + u'\n'); };
    m_task.InfoBox = &m_infoWindow;
    m_task.PartListBox = &m_partWindow;
    m_progressRow.attach(m_task);
    m_task.Events.finished = [this](bool) {
        unlockPage();
        setRunning(false);
        checkExportInputs();
    };
}

void ExportPage::setProgressVisible(bool visible)
{
    m_progressRow.bar->setVisible(visible);
    m_progressRow.elapsed->setVisible(visible);
    // Only the export of one image knows the time left; the split and the
    // conversion count parts or bytes.
    m_progressRow.remaining->setVisible(visible && m_taskKind == ExportTask::Export && m_task.ImageIndex != 0);
    m_progressRow.count->setVisible(visible && m_taskKind != ExportTask::Optimize);
}

void ExportPage::setRunning(bool running)
{
    m_running = running;
    m_stopButton->setVisible(running);
    m_stopButton->setEnabled(true);
    m_startButton->setVisible(!running);
    if (running) {
        m_progressRow.bar->setValue(0);
        m_progressRow.bar->setFormat(QStringLiteral("0%"));
        m_progressRow.elapsed->clear();
        m_progressRow.remaining->clear();
        m_progressRow.count->clear();
        setProgressVisible(true);
    }
}

void ExportPage::startTask()
{
    if (m_running)
        return;
    ExportRequest request;
    request.task = m_taskKind;
    request.source = m_sourceEdit->text();
    request.target = m_targetEdit->text();
    request.tempFolder = AppSettings().wimTempPath;
    request.imageIndex = m_taskKind == ExportTask::Export ? uint32_t(m_indexSpin->value()) : 0;
    request.fileInfo = m_fileInfo;
    request.images = m_images;
    request.targetCompression = m_targetCompression;
    request.partMegabytes = uint64_t(std::max(0, ReadNumber(m_partSize)));
    request.boot = m_boot->isEnabled() && m_boot->isChecked();
    request.noConfiguration = m_noConfig->isChecked();
    request.allowDuplicates = m_allowDuplicates->isEnabled() && m_allowDuplicates->isChecked();

    auto ask = [this] {
        const QString text = L(145) + u'\n' + L(146) + u'\n' + u'\n' + L(147);
        return QMessageBox::question(this, L(148), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
               QMessageBox::Yes;
    };
    auto prepare = [this] { showInfoBox(true); };
    switch (StartExportTask(m_task, request, ask, prepare)) {
    case ExportStart::Started:
        setRunning(true);
        lockPage();
        m_stopButton->setEnabled(true);
        break;
    case ExportStart::BadPartSize:
    case ExportStart::Declined:
    case ExportStart::NotStarted:
        break;
    }
}

void ExportPage::stopTask()
{
    if (!m_running)
        return;
    const ExportStopQuestion q = StopQuestionFor(m_taskKind, m_task.CompressionType);
    QString text;
    for (size_t i = 0; i < q.lines.size(); ++i) {
        text += L(q.lines[i]) + u'\n';
        if (i == 2)
            text += u'\n';
    }
    const StopChoice choice = StopOperation(m_task, [&] {
        QMessageBox box(QMessageBox::Question, L(122), text, QMessageBox::NoButton, this);
        QMessageBox::StandardButton safe = QMessageBox::NoButton;
        QMessageBox::StandardButton force = QMessageBox::NoButton;
        if (q.safeStop)
            safe = q.safeAsYes ? QMessageBox::Yes : QMessageBox::Ok;
        if (q.forceStop)
            force = q.safeStop ? QMessageBox::No : QMessageBox::Retry;
        box.setStandardButtons(safe | force | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Cancel);
        ButtonTextHook(box);
        const int answer = box.exec();
        if (answer == safe)
            return StopChoice::Stop;
        if (answer == force)
            return StopChoice::ForceStop;
        return StopChoice::Continue;
    });
    if (choice == StopChoice::ForceStop) {
        // The abandoned worker posts nothing more: the page is idle now.
        unlockPage();
        setRunning(false);
        checkExportInputs();
    } else if (choice == StopChoice::Stop) {
        m_stopButton->setEnabled(false);
    }
}
