// SPDX-License-Identifier: GPL-3.0-or-later
// Capturing from the capture and append page: the overwrite question, the
// compression an append takes from its target, the page's side of the
// worker's events, the progress display and the stop buttons.
#include "pages/capturepage.h"
#include "pages/pagetext.h"

#include "common/settings.h"
#include "imaging/progress.h"
#include "imaging/taskrun.h"
#include "pages/core/mountlogic.h"
#include "ui/sharedcontrols.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

void CapturePage::setupTask()
{
    m_task.Poster = this;
    m_infoWindow.onAppendText = [this](const QString& text) { appendToLog(text); };
    m_task.InfoBox = &m_infoWindow;
    m_progressRow.attach(m_task);

    OperationEvents& ev = m_task.Events;
    ev.callStarted = [this] {
        m_progressRow.bar->setValue(0);
        m_progressRow.bar->setFormat(QStringLiteral("0%"));
        m_progressRow.elapsed->setText(m_task.ElapsedPrefix);
        m_progressRow.remaining->setText(m_task.RemainingPrefix);
        m_progressRow.count->setText(m_task.CountPrefix);
        setProgressVisible(true);
    };
    ev.stopButtonDone = [this] { setRunning(m_runAppend, false); };
    ev.finished = [this](bool) { backToIdle(); };
}

void CapturePage::setProgressVisible(bool visible)
{
    m_progressRow.bar->setVisible(visible);
    m_progressRow.elapsed->setVisible(visible);
    m_progressRow.remaining->setVisible(visible);
    m_progressRow.count->setVisible(visible);
}

void CapturePage::setRunning(bool append, bool running)
{
    QPushButton* start = append ? m_appendButton : m_createButton;
    QPushButton* stop = append ? m_appendStop : m_createStop;
    stop->setVisible(running);
    stop->setEnabled(running);
    start->setVisible(!running);
}

void CapturePage::backToIdle()
{
    m_running = false;
    setRunning(m_runAppend, false);
    if (isLocked())
        unlockPage();
    checkCaptureTarget();
}

void CapturePage::createImage()
{
    const QString target = m_targetEdit->text();
    if (IsExistingFile(target)) {
        // The old file stays until the new one is complete; Yes only lets
        // the new one take its place.
        const QString text = L(305) + u'\n' + L(306) + u'\n' + u'\n' + u' ';
        if (QMessageBox::question(this, L(148), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) !=
            QMessageBox::Yes)
            return;
    }
    startCapture(false);
}

void CapturePage::appendImage()
{
    const QString target = m_targetEdit->text();
    if (IsExistingFile(target)) {
        // The box shows what the file will really be written with.
        const int type = int(AppendCompression(target, uint32_t(m_compress->currentIndex())));
        if (type >= 0 && type < m_compress->count())
            m_compress->setCurrentIndex(type);
    }
    startCapture(true);
}

void CapturePage::startCapture(bool append)
{
    if (m_running)
        return;
    CaptureRequest request;
    request.source = m_sourceEdit->text();
    request.target = m_targetEdit->text();
    request.tempFolder = AppSettings().wimTempPath;
    request.compression = uint32_t(qMax(0, m_compress->currentIndex()));
    request.append = append;
    request.noConfiguration = m_noConfig->isChecked();
    request.boot = m_boot->isChecked();
    request.name = m_textEdits[0]->text();
    request.description = m_textEdits[1]->text();
    request.displayName = m_textEdits[2]->text();
    request.displayDescription = m_textEdits[3]->text();
    request.flags = m_flags->currentText();

    showInfoBox(true);
    appendToLog(QStringLiteral("\n"));
    m_runAppend = append;
    if (!StartCapture(m_task, request))
        return;
    m_running = true;
    lockPage();
    setRunning(append, true);
}

void CapturePage::stopCapture()
{
    if (!m_running)
        return;
    const bool lzms = m_task.CompressionType == 3;
    const StopChoice choice = StopOperation(m_task, [this, lzms] {
        if (lzms) {
            switch (AskStopThreeWay(this)) {
            case QMessageBox::Yes:
                return StopChoice::Stop;
            case QMessageBox::No:
                return StopChoice::ForceStop;
            default:
                return StopChoice::Continue;
            }
        }
        const QString text = L(177) + u'\n' + L(124) + u'\n' + L(125) + u'\n' + u'\n' + L(126);
        return QMessageBox::question(this, L(122), text, QMessageBox::Ok | QMessageBox::Cancel,
                                     QMessageBox::Cancel) == QMessageBox::Ok
                   ? StopChoice::Stop
                   : StopChoice::Continue;
    });
    // The abandoned worker's end never reaches the page: it is idle now.
    if (choice == StopChoice::ForceStop)
        backToIdle();
}
