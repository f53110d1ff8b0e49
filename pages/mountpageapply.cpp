// SPDX-License-Identifier: GPL-3.0-or-later
// Applying an image from the mount and apply page: the question before it,
// the page's side of the worker's events, the progress display and the stop
// button.
#include "pages/mountpage.h"
#include "pages/pagetext.h"

#include "common/format.h"
#include "common/language.h"
#include "common/settings.h"
#include "imaging/taskrun.h"
#include "ui/sharedcontrols.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

void MountPage::setupTask()
{
    m_task.Poster = this;
    m_infoWindow.onAppendText = [this](const QString& text) { appendToLog(text); };
    m_task.InfoBox = &m_infoWindow;
    m_progressRow.attach(m_task);

    OperationEvents& ev = m_task.Events;
    ev.callStarted = [this] {
        resetProgress();
        setProgressVisible(true);
        lockPage();
        // A locked bar is drawn grey; this one moves.
        m_progressRow.bar->setEnabled(true);
        setApplyRunning(true);
    };
    ev.callEnded = [this] { unlockPage(); };
    ev.stopButtonDone = [this] { setApplyRunning(false); };
    ev.openFolder = [this](const QString& folder) { openFolder(folder); };
    ev.finished = [this](bool ok) {
        m_applyRunning = false;
        unlockPage();
        setApplyRunning(false);
        if (ok) // nothing is left to wait for
            m_progressRow.remaining->setText(m_task.RemainingPrefix + FormatElapsed(0));
        m_listGroup->show();
        // The list takes its room back from the log: keep the last line,
        // the overall result, in view once the log has its new height.
        if (layout())
            layout()->activate();
        scrollLogToEnd();
        updateButtons();
    };
}

bool MountPage::isApplying() const
{
    return m_applyRunning;
}

void MountPage::setApplyRunning(bool running)
{
    // The stop button keeps its enabled state, so that the page lock (taken
    // before it shows) gives it back as it was.
    m_stopButton->setVisible(running);
    m_stopButton->setEnabled(true);
    m_applyButton->setVisible(!running);
}

void MountPage::resetProgress()
{
    m_progressRow.bar->setRange(0, 100);
    m_progressRow.bar->setValue(0);
    m_progressRow.bar->setFormat(QStringLiteral("0%"));
    m_progressRow.bar->setTextVisible(true);
    m_progressRow.elapsed->setText(m_task.ElapsedPrefix);
    m_progressRow.remaining->setText(m_task.RemainingPrefix);
    m_progressRow.count->setText(m_task.CountPrefix);
}

void MountPage::setProgressVisible(bool visible)
{
    m_progressRow.bar->setVisible(visible);
    m_progressRow.elapsed->setVisible(visible);
    m_progressRow.remaining->setVisible(visible);
    m_progressRow.count->setVisible(visible);
}

void MountPage::applyImage()
{
    ApplyRequest request;
    request.imageFile = m_fileEdit->text();
    request.targetFolder = m_folderEdit->text();
    request.tempFolder = AppSettings().wimTempPath;
    request.imageIndex = uint32_t(m_indexSpin->value());
    request.fileInfo = m_fileInfo;
    request.noConfiguration = m_noConfig->isChecked();
    request.clearSecurity = m_clearSecurity->isChecked();
    request.openWhenDone = m_openWhenDone->isChecked();

    const QString question = L(39) + u'\n' + L(40) + u'\n' + L(41) + u'\n' + u'\n' + L(42);
    auto ask = [this, &question] {
        return QMessageBox::question(this, L(43), question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
               QMessageBox::Yes;
    };
    auto prepare = [this] {
        // The log gets the list's room while the apply runs.
        m_listGroup->hide();
        showInfoBox(true);
        resetProgress();
    };
    if (StartApply(m_task, request, ask, prepare) == ApplyStart::Started)
        m_applyRunning = true;
    else
        m_listGroup->show();
}

void MountPage::stopApply()
{
    const StopChoice choice = StopOperation(m_task, [this] {
        return AskStop(this, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes ? StopChoice::Stop
                                                                                       : StopChoice::Continue;
    });
    if (choice == StopChoice::Stop)
        setApplyRunning(false);
}
