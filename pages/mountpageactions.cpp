// SPDX-License-Identifier: GPL-3.0-or-later
// Mount, unmount, refresh and unmount-all of the mount and apply page. Each
// runs its steps (pages/core/mountoperations.h) on the worker while the page
// is locked and shows the step beside a busy bar; the GUI thread only asks
// and then updates the list when the worker is done.
#include "pages/mountpage.h"
#include "pages/pagetext.h"

#include "common/language.h"
#include "common/settings.h"
#include "imaging/progress.h"
#include "imaging/taskrun.h"
#include "pages/core/mountlogic.h"
#include "pages/core/mountoperations.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <memory>

namespace {

const QString kBreak = QStringLiteral("\r\n");

// The list can lag behind an unmount that failed although the mount went.
constexpr int kUnmountLooks = 32;

// Language strings of the unmount-all lines: the folder, and whether the
// changes were kept.
constexpr int kUnmountSaving = 375;
constexpr int kUnmountDiscarding = 376;
constexpr int kUnmountReadOnly = 377;
constexpr int kSomeReadWrite = 379;

} // namespace

void MountPage::listMounts()
{
    auto mounts = std::make_shared<std::vector<MountEntry>>();
    runMountWork(
        L(47), false, [mounts] { *mounts = GetMountedImages(); },
        [this, mounts] {
            m_snapshot = *mounts;
            for (const MountEntry& e : m_snapshot)
                addRow(e);
        });
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
    // The boxes keep what they show: only a click on a row changes them.
    if (item == m_list->currentItem())
        m_list->setCurrentItem(nullptr);
    delete item;
}

void MountPage::showBusy(const QString& step)
{
    resetProgress();
    m_progressRow.bar->setRange(0, 0); // no measure of how far a mount call is
    m_progressRow.bar->setTextVisible(false);
    m_progressRow.elapsed->setText(step);
    m_progressRow.remaining->clear();
    m_progressRow.count->clear();
    setProgressVisible(true);
}

std::function<void(int)> MountPage::commitProgress(TASKCONTEXT& ctx)
{
    // Runs on the worker: only posts. The busy bar turns into a measured one
    // with the first percent of the commit.
    return [this, &ctx](int percent) {
        PostToPoster(ctx, [this, percent] {
            QProgressBar* bar = m_progressRow.bar;
            if (bar->maximum() == 0) {
                bar->setRange(0, 100);
                bar->setTextVisible(true);
            }
            bar->setValue(std::clamp(percent, 0, 100));
        });
    };
}

bool MountPage::runMountWork(const QString& step, bool logStep, std::function<void()> work,
                             std::function<void()> done)
{
    if (isBusy() || !PrepareTaskStart(std::chrono::milliseconds(0)))
        return false;
    m_mountBusy = true;
    lockPage();
    // A locked bar is drawn grey; this one moves.
    m_progressRow.bar->setEnabled(true);
    showBusy(step);
    auto finish = [this, done = std::move(done)] {
        if (done)
            done();
        m_progressRow.bar->setRange(0, 100);
        m_progressRow.bar->setTextVisible(true);
        setProgressVisible(false);
        m_mountBusy = false;
        unlockPage();
        updateButtons();
    };
    if (!StartTaskWorker(m_task, std::move(work), finish)) {
        finish();
        return false;
    }
    // After the start: what is posted under the run before it is dropped.
    if (logStep)
        LogText(m_task, step);
    return true;
}

void MountPage::mountImage()
{
    const QString folder = m_folderEdit->text();
    const QString file = m_fileEdit->text();
    const uint32_t index = imageNumber();
    const bool readWrite = m_readWrite->isChecked() && m_readWrite->isEnabled();
    if (!IsExistingFolder(folder))
        return;
    showInfoBox(false);
    if (DirectoryHasEntries(folder)) {
        QMessageBox::information(this, L(46), L(44) + u'\n' + L(45));
        return;
    }
    if (!ImagingApi.WIMMountImage)
        return;

    struct Outcome {
        MountStepResult result;
        std::vector<MountEntry> mounts;
    };
    auto out = std::make_shared<Outcome>();
    const QString temp = AppSettings().wimTempPath;
    runMountWork(
        L(25), true,
        [out, folder, file, index, readWrite, temp] {
            out->result = MountImageInto(folder, file, index, readWrite, temp);
            out->mounts = GetMountedImages();
        },
        [this, out, folder, file, index, readWrite] {
            m_snapshot = out->mounts;
            if (out->result.ok) {
                addRow({file, folder, index, readWrite});
                if (m_openWhenDone->isChecked())
                    openFolder(folder);
                if (m_list->topLevelItemCount() > 5)
                    m_list->scrollToItem(m_list->topLevelItem(m_list->topLevelItemCount() - 1));
            }
            LogResult(m_task, out->result.ok, true, out->result.error);
        });
}

void MountPage::unmountFromButton()
{
    unmountFolder(m_folderEdit->text(), true);
}

std::optional<bool> MountPage::askCommit(int firstLine)
{
    const auto answer =
        QMessageBox::question(this, L(28), L(firstLine) + u'\n' + L(30) + u'\n' + u'\n' + L(31),
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer == QMessageBox::Yes)
        return true;
    if (answer == QMessageBox::No)
        return false;
    return std::nullopt;
}

void MountPage::unmountFolder(const QString& folder, bool ask)
{
    if (!ImagingApi.WIMUnmountImage || isBusy())
        return;
    auto notMounted = [this] {
        showInfoBox(false);
        clearInfoBox();
        LogText(m_task, L(26) + kBreak + L(27) + kBreak);
    };
    // The list as the last refresh, mount or unmount left it; the worker
    // looks again before it unmounts.
    const std::optional<MountEntry> known = FindMountByFolder(m_snapshot, folder);
    if (!known) {
        notMounted();
        updateButtons();
        return;
    }
    bool commit = false;
    if (ask && known->readWrite) {
        const std::optional<bool> choice = askCommit(29);
        if (!choice)
            return;
        commit = *choice;
    }

    struct Outcome {
        bool found = false;
        MountStepResult result;
        std::vector<MountEntry> mounts;
    };
    auto out = std::make_shared<Outcome>();
    OperationGate().set();
    showInfoBox(false);
    TASKCONTEXT* ctx = &m_task;
    runMountWork(
        L(32), true,
        [this, ctx, out, folder, commit] {
            // Another tool may have unmounted it since the last look.
            const std::optional<MountEntry> entry = FindMountByFolder(GetMountedImages(), folder);
            out->found = entry.has_value();
            if (entry)
                out->result = UnmountImageAt(*entry, commit, 1, commitProgress(*ctx));
            out->mounts = GetMountedImages();
        },
        [this, out, folder, notMounted] {
            m_snapshot = out->mounts;
            if (!out->found) {
                removeRow(folder);
                notMounted();
            } else {
                LogResult(m_task, out->result.ok, true, out->result.error);
                if (out->result.ok)
                    removeRow(folder);
            }
            OperationGate().reset();
        });
}

void MountPage::rowDoubleClicked(QTreeWidgetItem* item, int column)
{
    if (!item || item->text(kColMountPath).isEmpty() || isBusy())
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
        // A read-write mount asks before its changes go, as the button does;
        // a read-only one goes at once.
        unmountFolder(folder, true);
    } else if (column == kColMountPath) {
        if (m_dblOpenDir->isChecked())
            openFolder(folder);
    }
}

void MountPage::unmountAllUnlocked()
{
    if (!ImagingApi.WIMUnmountImage || isBusy())
        return;
    std::vector<MountEntry> targets;
    bool anyReadWrite = false;
    for (const MountEntry& e : m_snapshot) {
        QTreeWidgetItem* row = findRow(e.mountPath);
        if (!row || isRowLocked(row))
            continue;
        targets.push_back(e);
        anyReadWrite = anyReadWrite || e.readWrite;
    }
    if (targets.empty()) {
        showInfoBox(false);
        LogText(m_task, L(50) + kBreak);
        return;
    }
    // One question for all of them when any holds changes.
    bool commit = false;
    if (anyReadWrite) {
        const std::optional<bool> choice = askCommit(kSomeReadWrite);
        if (!choice)
            return;
        commit = *choice;
    }

    struct Outcome {
        int unmounted = 0;
        std::vector<MountEntry> mounts;
    };
    auto out = std::make_shared<Outcome>();
    OperationGate().set();
    showInfoBox(true);
    TASKCONTEXT* ctx = &m_task;
    runMountWork(
        L(32), false,
        [this, ctx, out, targets, commit] {
            for (const MountEntry& e : targets) {
                QString line = L(!e.readWrite ? kUnmountReadOnly : commit ? kUnmountSaving : kUnmountDiscarding);
                line.replace(QStringLiteral("%s"), e.mountPath);
                LogText(*ctx, line);
                const MountStepResult r = UnmountImageAt(e, commit, kUnmountLooks, commitProgress(*ctx));
                LogResult(*ctx, r.ok, true, r.error);
                if (r.ok) {
                    ++out->unmounted;
                    PostToPoster(*ctx, [this, folder = e.mountPath] { removeRow(folder); });
                }
            }
            out->mounts = GetMountedImages();
        },
        [this, out] {
            m_snapshot = out->mounts;
            if (out->unmounted == 0) {
                showInfoBox(false);
                LogText(m_task, L(50) + kBreak);
            }
            OperationGate().reset();
        });
}

void MountPage::refreshList()
{
    if (isBusy())
        return;
    showInfoBox(true);
    auto mounts = std::make_shared<std::vector<MountEntry>>();
    const bool clean = m_cleanInvalid->isChecked();
    runMountWork(
        L(47), true, [mounts, clean] { *mounts = RefreshMountList(clean); },
        [this, mounts] {
            m_snapshot = *mounts;
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
        });
}
