// SPDX-License-Identifier: GPL-3.0-or-later
// The settings page's commands: save, restore, clean a work folder, and the
// four buttons of the file association and the shell extensions.
#include "ui/settingspage.h"

#include "common/envexpand.h"
#include "common/language.h"
#include "pages/core/workfolders.h"
#include "shell/association.h"
#include "ui/registerdialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QThread>

#include <memory>

namespace {

const QString kBreak = QStringLiteral("\r\n");

} // namespace

void SettingsPage::saveSettings()
{
    startCommand();
    appendToLog(GetLanguageString(229));
    lockPage();
    const Settings values = valuesFromControls();
    SaveSettings(values);
    // Every value is stored already; a folder that cannot be made only
    // tells the user where to look.
    const Settings& saved = AppSettings();
    if (!CreateWorkFolder(ExpandEnvironmentText(saved.autoMountPath)))
        appendToLog(kBreak + GetLanguageString(255) + kBreak + GetLanguageString(256) + kBreak);
    if (!CreateWorkFolder(ExpandEnvironmentText(saved.wimTempPath)))
        appendToLog(kBreak + GetLanguageString(257) + kBreak + GetLanguageString(258) + kBreak);
    mirrorToOtherPages(saved);
    loadControls(saved);
    unlockPage();
    appendToLog(GetLanguageString(21) + kBreak);
}

void SettingsPage::restoreSettings()
{
    startCommand();
    appendToLog(GetLanguageString(228));
    lockPage();
    loadControls(AppSettings());
    unlockPage();
    appendToLog(GetLanguageString(21) + kBreak);
}

bool SettingsPage::cleanFolder(WorkFolder which, bool ask)
{
    if (m_cleaner)
        return false;
    const bool mountBase = which == WorkFolder::MountBase;
    if (ask) {
        QString text;
        if (mountBase)
            text = GetLanguageString(232) + kBreak;
        text += GetLanguageString(222) + kBreak + kBreak + GetLanguageString(223);
        text.replace(kBreak, QStringLiteral("\n"));
        if (QMessageBox::question(this, GetLanguageString(221), text, QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::No)
            != QMessageBox::Yes)
            return false;
    }
    startCommand();
    appendToLog(GetLanguageString(mountBase ? 224 : 225));
    lockPage();
    const QString folder = ExpandEnvironmentText((mountBase ? m_mountEdit : m_tempEdit)->text().trimmed());
    auto result = std::make_shared<FolderCleanResult>();
    // The mount list and the walk may both wait on slow or dead mounts.
    m_cleaner = QThread::create([folder, mountBase, result] {
        const std::vector<MountEntry> mounts = GetMountedImages();
        *result = CleanFolderContents(folder, mountBase ? MountBaseCleanRules(mounts) : TempFolderCleanRules(mounts));
    });
    connect(m_cleaner, &QThread::finished, this, [this, which, result] {
        m_cleaner->deleteLater();
        m_cleaner = nullptr;
        cleanDone(which, *result);
    });
    m_cleaner->start();
    return true;
}

void SettingsPage::cleanDone(WorkFolder, const FolderCleanResult& result)
{
    unlockPage();
    if (!result.started) {
        appendToLog(GetLanguageString(22) + kBreak);
        emit cleanFinished();
        return;
    }
    appendToLog(GetLanguageString(21) + kBreak);
    for (const QString& path : result.spared)
        appendToLog(GetLanguageString(470) + path + kBreak);
    if (result.failed > 0)
        appendToLog(GetLanguageString(471) + QString::number(result.failed) + kBreak);
    emit cleanFinished();
}

void SettingsPage::runShellButton(int which)
{
    if (which == 2 || which == 3) {
        // The module is checked first; the dialog does the registering.
        CheckShellModuleFile(which == 2 ? 1 : 0, window(), [this](const QString& text) {
            startCommand();
            appendToLog(text);
        });
        return;
    }
    const bool set = which == 0;
    startCommand();
    appendToLog(GetLanguageString(set ? 233 : 234) + QStringLiteral("..."));
    lockPage();
    // The desktop's databases are rebuilt as part of it: off the GUI thread.
    auto ok = std::make_shared<bool>(false);
    QThread* worker = QThread::create([set, ok] { *ok = SetFileAssociation(RunningInstall(), set); });
    connect(worker, &QThread::finished, this, [this, worker, ok] {
        worker->deleteLater();
        unlockPage();
        appendToLog(GetLanguageString(*ok ? 21 : 22) + kBreak);
    });
    worker->start();
}
