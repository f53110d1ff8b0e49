// SPDX-License-Identifier: GPL-3.0-or-later
// Mount, unmount, refresh and unmount-all of the mount and apply page. Each
// is one call of the imaging layer on the GUI thread; the page is locked
// for its duration.
#include "pages/mountpage.h"
#include "pages/pagetext.h"

#include "common/language.h"
#include "common/settings.h"
#include "common/textutil.h"
#include "imaging/progress.h"
#include "pages/core/mountlogic.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QTreeWidget>

#include <cerrno>

namespace {

const QString kBreak = QStringLiteral("\r\n");

// A mount that is gone from the list after a failed unmount call counts as
// unmounted (another tool or the service finished it).
bool StillMounted(const QString& folder)
{
    return FindMountByFolder(GetMountedImages(), folder).has_value();
}

// Looks a few times more: the list can lag behind the unmount.
constexpr int kUnmountLooks = 32;

} // namespace

void MountPage::takeSnapshot()
{
    m_snapshot = GetMountedImages();
}

QTreeWidgetItem* MountPage::findRow(const QString& folder) const
{
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (SameMountPath(item->text(kColMountPath), folder))
            return item;
    }
    return nullptr;
}

bool MountPage::isRowLocked(const QTreeWidgetItem* item) const
{
    return item && item->checkState(kColLock) == Qt::Checked;
}

void MountPage::addRow(const MountEntry& entry)
{
    if (entry.mountPath.isEmpty() || findRow(entry.mountPath))
        return;
    auto* item = new QTreeWidgetItem(m_list);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(kColLock, Qt::Unchecked);
    item->setText(kColImageFile, entry.imagePath);
    item->setText(kColMountPath, entry.mountPath);
    item->setText(kColIndex, QString::number(entry.imageIndex));
    item->setData(kColReadWrite, Qt::UserRole, entry.readWrite);
    item->setText(kColReadWrite, L(entry.readWrite ? 23 : 24));
    item->setToolTip(kColImageFile, entry.imagePath);
    item->setToolTip(kColMountPath, entry.mountPath);
}

void MountPage::removeRow(const QString& folder)
{
    dropRow(findRow(folder));
}

void MountPage::dropRow(QTreeWidgetItem* item)
{
    if (!item)
        return;
    // Left alone, the list makes the next row current, which copies that
    // mount into the boxes: a second click on unmount would then unmount a
    // mount the user never chose.
    if (item == m_list->currentItem())
        m_list->setCurrentItem(nullptr);
    delete item;
}

void MountPage::mountImage()
{
    const QString folder = m_folderEdit->text();
    const QString file = m_fileEdit->text();
    const uint32_t index = imageNumber();
    const bool readWrite = m_readWrite->isChecked();
    if (!IsExistingFolder(folder))
        return;
    showInfoBox(false);
    if (DirectoryHasEntries(folder)) {
        QMessageBox::information(this, L(46), L(44) + u'\n' + L(45));
        return;
    }
    if (!ImagingApi.WIMMountImage)
        return;

    lockPage();
    LogText(m_task, L(25));
    QString temp;
    if (readWrite) {
        temp = AppSettings().wimTempPath;
        // The staging folder of a read-write mount lives there.
        if (!temp.isEmpty())
            QDir().mkpath(temp);
    }
    const BOOL ok = ImagingApi.WIMMountImage(Utf16(folder), Utf16(file), index, readWrite ? Utf16(temp) : nullptr);
    const int error = errno;
    if (ok) {
        addRow({file, folder, index, readWrite});
        takeSnapshot();
        if (m_openWhenDone->isChecked())
            openFolder(folder);
        if (m_list->topLevelItemCount() > 5)
            m_list->scrollToItem(m_list->topLevelItem(m_list->topLevelItemCount() - 1));
    }
    LogResult(m_task, ok != FALSE, true, error);
    unlockPage();
    updateButtons();
}

void MountPage::unmountFromButton()
{
    unmountFolder(m_folderEdit->text(), true);
}

bool MountPage::unmountFolder(const QString& folder, bool fromButton)
{
    // Look at the machine's list as it is now: another tool may have
    // unmounted the folder since the last snapshot.
    takeSnapshot();
    const std::optional<MountEntry> entry = FindMountByFolder(m_snapshot, folder);
    if (!entry) {
        showInfoBox(false);
        clearInfoBox();
        LogText(m_task, L(26) + kBreak + L(27) + kBreak);
        updateButtons();
        return false;
    }
    BOOL commit = FALSE;
    if (fromButton && entry->readWrite) {
        const auto answer =
            QMessageBox::question(this, L(28), L(29) + u'\n' + L(30) + u'\n' + u'\n' + L(31),
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer != QMessageBox::Yes && answer != QMessageBox::No)
            return false;
        commit = answer == QMessageBox::Yes ? TRUE : FALSE;
    }
    if (!ImagingApi.WIMUnmountImage)
        return false;

    OperationGate().set();
    showInfoBox(false);
    LogText(m_task, L(32));
    lockPage();
    const BOOL ok = ImagingApi.WIMUnmountImage(Utf16(entry->mountPath), Utf16(m_fileEdit->text()), entry->imageIndex,
                                               commit);
    const int error = errno;
    const bool done = ok || !StillMounted(folder);
    if (done) {
        LogResult(m_task, true);
        removeRow(folder);
        takeSnapshot();
    } else {
        LogResult(m_task, false, true, error);
    }
    OperationGate().reset();
    unlockPage();
    updateButtons();
    return done;
}

void MountPage::rowDoubleClicked(QTreeWidgetItem* item, int column)
{
    if (!item || item->text(kColMountPath).isEmpty())
        return;
    const QString folder = item->text(kColMountPath);
    if (column == kColImageFile) {
        if (!m_dblUnmount->isChecked())
            return;
        if (isRowLocked(item)) {
            showInfoBox(false);
            LogText(m_task, L(50) + kBreak);
            return;
        }
        unmountFolder(folder, false);
    } else if (column == kColMountPath) {
        if (m_dblOpenDir->isChecked())
            openFolder(folder);
    }
}

void MountPage::unmountAllUnlocked()
{
    if (!ImagingApi.WIMUnmountImage)
        return;
    OperationGate().set();
    lockPage();
    const std::vector<MountEntry> copy = m_snapshot;
    bool shown = false;
    int unmounted = 0;
    for (const MountEntry& e : copy) {
        QTreeWidgetItem* row = findRow(e.mountPath);
        if (!row || isRowLocked(row))
            continue;
        if (!shown) {
            showInfoBox(true);
            shown = true;
        }
        QString line = L(49);
        line.replace(QStringLiteral("%s"), e.imagePath);
        LogText(m_task, line);
        bool done = ImagingApi.WIMUnmountImage(Utf16(e.mountPath), Utf16(e.imagePath), e.imageIndex, FALSE) != FALSE;
        const int error = errno;
        for (int look = 0; !done && look < kUnmountLooks; ++look)
            done = !StillMounted(e.mountPath);
        if (done) {
            LogResult(m_task, true);
            ++unmounted;
            removeRow(e.mountPath);
        } else {
            LogResult(m_task, false, true, error);
        }
    }
    if (unmounted == 0) {
        showInfoBox(false);
        LogText(m_task, L(50) + kBreak);
    }
    unlockPage();
    OperationGate().reset();
    takeSnapshot();
    updateButtons();
}

void MountPage::refreshList()
{
    if (m_cleanInvalid->isChecked())
        CleanupMounts(false);
    showInfoBox(true);
    LogText(m_task, L(47));
    takeSnapshot();
    // Rows of mounts that are gone, whoever removed them.
    for (int i = 0; i < m_list->topLevelItemCount();) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (!FindMountByFolder(m_snapshot, item->text(kColMountPath))) {
            dropRow(item);
            i = 0;
        } else {
            ++i;
        }
    }
    for (const MountEntry& e : m_snapshot)
        addRow(e);
    LogResult(m_task, true);
    QString count = L(48);
    count.replace(QStringLiteral("%u"), QString::number(m_snapshot.size()));
    LogText(m_task, count + kBreak);
    updateButtons();
}
