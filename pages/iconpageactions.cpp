// SPDX-License-Identifier: GPL-3.0-or-later
// The icon page's four buttons: write and delete the stored icon (on the
// task worker), save the chosen icon as an ICO file, rebuild the cache.
#include "pages/iconpage.h"
#include "pages/pagetext.h"

#include "common/settings.h"
#include "common/textutil.h"
#include "imaging/progress.h"
#include "imaging/taskrun.h"
#include "metadata/iconcodec.h"

#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSaveFile>

#include <cerrno>

namespace {

const QString kBreak = QStringLiteral("\r\n");

} // namespace

void IconPage::writeIcon()
{
    const QImage icon = m_source.icon(selectedSize(), m_selected);
    if (icon.isNull())
        return;
    const QByteArray png = IcoBytesToPng(IconToIcoBytes(icon));
    if (png.isEmpty())
        return;
    startTask(&RunIconTask, EncodeIconText(png));
}

void IconPage::deleteIcon()
{
    startTask(&RunIconTask, QString());
}

void IconPage::rebuildIconCache()
{
    startTask(&RebuildIconCacheWorker, QString());
}

bool IconPage::startTask(void (*routine)(IconTask&), const QString& encodedIcon)
{
    if (!PrepareTaskStart())
        return false;
    messageBox()->clear();
    m_task.ImagePath = CutToUnits(m_imageEdit->text(), kPathUnits);
    m_task.TempPath = CutToUnits(AppSettings().wimTempPath, kPathUnits);
    m_task.EncodedIcon = encodedIcon;
    m_task.PreviewSize = kStoredIconReadEdge;
    m_task.Succeeded = false;
    m_task.FailureText.clear();
    lockPage();
    m_running = true;
    IconTask* task = &m_task;
    const bool rebuild = routine == &RebuildIconCacheWorker;
    if (!StartTaskWorker(m_task, [task, routine] { routine(*task); }, [this, rebuild] { taskEnded(rebuild); })) {
        m_running = false;
        unlockPage();
        return false;
    }
    return true;
}

void IconPage::taskEnded(bool rebuild)
{
    m_running = false;
    unlockPage();
    if (rebuild) {
        appendToLog(kBreak);
        // A thumbnail that could not be removed is no finished rebuild.
        appendToLog(m_task.Succeeded ? L(204) + kBreak : L(213) + QStringLiteral("...") + L(22) + kBreak);
    } else if (m_task.MetadataStored) {
        // The file changed: its stored icon is what the worker read back.
        m_stored = m_task.StoredIcon;
        if (!m_task.Succeeded)
            m_stored.Found = !m_task.EncodedIcon.isEmpty();
        updateStoredPreview();
    }
    updateButtons();
}

void IconPage::saveIconFile()
{
    messageBox()->clear();
    appendToLog(kBreak + L(205) + QStringLiteral("..."));
    const QImage icon = m_source.icon(selectedSize(), m_selected);
    if (icon.isNull())
        return;
    const QString path = m_pickSavePath ? m_pickSavePath() : QString();
    if (path.isEmpty())
        return;
    if (QFile::exists(path)) {
        const QString text = L(208) + u'\n' + L(209) + QStringLiteral("\n\n") + L(147);
        if (QMessageBox::question(this, L(207), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes) {
            appendToLog(L(210) + kBreak);
            return;
        }
    }
    // The new file takes the old one's place only once it is whole, so that
    // a failed write leaves the old icon file as it was.
    const QByteArray ico = IconToIcoBytes(icon);
    QSaveFile file(path);
    const bool ok = !ico.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(ico) == ico.size() && file.commit();
    const int error = errno;
    LogResult(m_task, ok, true, error);
}
