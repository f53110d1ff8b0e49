// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/mountsettingspage.h"
#include "pages/pagetext.h"

#include "common/settings.h"
#include "imaging/progress.h"
#include "metadata/infobox.h"
#include "pages/core/mountapproval.h"
#include "pages/core/mountlogic.h"
#include "pages/core/mountsettingslogic.h"
#include "pages/mountpage.h"
#include "ui/drawing.h"
#include "ui/pickers.h"
#include "ui/sharedcontrols.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>

#include <cerrno>
#include <climits>

namespace {

const QString kBreak = QStringLiteral("\r\n");

} // namespace

MountSettingsPage::MountSettingsPage(QWidget* parent) : KestrelPage(kPageShellExec, parent)
{
    buildControls();
    m_task.Poster = this;
    m_infoWindow.onAppendText = [this](const QString& text) { appendToLog(text); };
    m_task.InfoBox = &m_infoWindow;
    m_clearHint->setChecked(AppSettings().clearHint != 0);
    connectControls();
    LoadMountSettingsPage(QString());
    retext();
}

MountSettingsPage::~MountSettingsPage()
{
    m_task.Poster = nullptr;
}

void MountSettingsPage::buildControls()
{
    const int u = LayoutUnit();
    setMinimumSize(pageSize());
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(u, u, u, u);
    top->setSpacing(u);

    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    auto lineEdit = [&named](QWidget* parent, const char* name) {
        auto* e = new QLineEdit(parent);
        named(e, name);
        e->setMaxLength(511);
        return e;
    };

    m_fileGroup = new QGroupBox(this);
    auto* fileRow = new QHBoxLayout(m_fileGroup);
    m_fileEdit = lineEdit(m_fileGroup, "imageFile");
    m_fileBrowse = new QPushButton(m_fileGroup);
    named(m_fileBrowse, "browseFile");
    fileRow->addWidget(m_fileEdit, 1);
    fileRow->addWidget(m_fileBrowse);
    top->addWidget(m_fileGroup);

    m_settingsGroup = new QGroupBox(this);
    auto* grid = new QGridLayout(m_settingsGroup);
    auto* boxes = new QHBoxLayout;
    auto box = [this, &named, boxes](const char* name) {
        auto* b = new QCheckBox(m_settingsGroup);
        named(b, name);
        boxes->addWidget(b);
        return b;
    };
    m_readWrite = box("readWrite");
    m_autoUnmount = box("autoUnmount");
    m_commit = box("commit");
    m_clearDir = box("deleteFolder");
    boxes->addStretch(1);
    grid->addLayout(boxes, 0, 0, 1, 3);
    m_folderLabel = new QLabel(m_settingsGroup);
    m_folderEdit = lineEdit(m_settingsGroup, "mountFolder");
    m_folderBrowse = new QPushButton(m_settingsGroup);
    named(m_folderBrowse, "browseFolder");
    m_mountCmdLabel = new QLabel(m_settingsGroup);
    m_mountCmdEdit = lineEdit(m_settingsGroup, "mountCommand");
    m_unmountCmdLabel = new QLabel(m_settingsGroup);
    m_unmountCmdEdit = lineEdit(m_settingsGroup, "unmountCommand");
    grid->addWidget(m_folderLabel, 1, 0);
    grid->addWidget(m_folderEdit, 1, 1);
    grid->addWidget(m_folderBrowse, 1, 2);
    grid->addWidget(m_mountCmdLabel, 2, 0);
    grid->addWidget(m_mountCmdEdit, 2, 1, 1, 2);
    grid->addWidget(m_unmountCmdLabel, 3, 0);
    grid->addWidget(m_unmountCmdEdit, 3, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    top->addWidget(m_settingsGroup);

    m_optionsGroup = new QGroupBox(this);
    auto* options = new QGridLayout(m_optionsGroup);
    m_indexLabel = new QLabel(m_optionsGroup);
    m_indexSpin = new ImageNumberSpin(m_optionsGroup);
    named(m_indexSpin, "imageNumber");
    m_indexSpin->setMinimumWidth(10 * u);
    m_nameLabel = new QLabel(m_optionsGroup);
    m_nameEdit = lineEdit(m_optionsGroup, "imageName");
    m_nameEdit->setReadOnly(true);
    m_descriptionLabel = new QLabel(m_optionsGroup);
    m_descriptionEdit = lineEdit(m_optionsGroup, "imageDescription");
    m_descriptionEdit->setReadOnly(true);
    m_clearHint = new QCheckBox(m_optionsGroup);
    named(m_clearHint, "clearBeforeTask");
    m_clearButton = new QPushButton(m_optionsGroup);
    named(m_clearButton, "clearSettings");
    m_applyButton = new QPushButton(m_optionsGroup);
    named(m_applyButton, "applySettings");
    options->addWidget(m_indexLabel, 0, 0);
    options->addWidget(m_indexSpin, 0, 1);
    options->addWidget(m_nameLabel, 0, 2);
    options->addWidget(m_nameEdit, 0, 3);
    options->addWidget(m_descriptionLabel, 1, 2);
    options->addWidget(m_descriptionEdit, 1, 3);
    options->addWidget(m_clearHint, 1, 0, 1, 2);
    options->addWidget(m_clearButton, 0, 4);
    options->addWidget(m_applyButton, 1, 4);
    options->setColumnStretch(3, 1);
    top->addWidget(m_optionsGroup);

    m_infoGroup = new QGroupBox(this);
    auto* infoLayout = new QVBoxLayout(m_infoGroup);
    messageBox()->setParent(m_infoGroup);
    messageBox()->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    infoLayout->addWidget(messageBox());
    top->addWidget(m_infoGroup, 1);
}

void MountSettingsPage::connectControls()
{
    connect(m_fileEdit, &QLineEdit::textChanged, this, &MountSettingsPage::LoadMountSettingsPage);
    for (QLineEdit* e : {m_folderEdit, m_mountCmdEdit, m_unmountCmdEdit})
        connect(e, &QLineEdit::textChanged, this, &MountSettingsPage::updateApply);
    connect(m_indexSpin, &QSpinBox::textChanged, this, &MountSettingsPage::imageNumberChanged);
    connect(m_readWrite, &QCheckBox::clicked, this, &MountSettingsPage::readWriteClicked);
    connect(m_autoUnmount, &QCheckBox::clicked, this, &MountSettingsPage::autoUnmountClicked);
    connect(m_commit, &QCheckBox::clicked, this, &MountSettingsPage::updateApply);
    connect(m_clearDir, &QCheckBox::clicked, this, [this](bool checked) {
        m_rememberedClearDir = checked;
        updateApply();
    });
    connect(m_fileBrowse, &QPushButton::clicked, this, [this] {
        const QString file = PickOpenFile(this, L(132), L(133), QStringLiteral("*.WIM"));
        if (!file.isEmpty())
            m_fileEdit->setText(file);
    });
    connect(m_folderBrowse, &QPushButton::clicked, this, [this] {
        const QString folder = PickFolder(this, L(178), L(345));
        if (!folder.isEmpty())
            m_folderEdit->setText(folder);
    });
    connect(m_applyButton, &QPushButton::clicked, this, [this] { ApplyMountSettings(m_fileEdit->text()); });
    connect(m_clearButton, &QPushButton::clicked, this, [this] { ClearMountSettingsOfFile(m_fileEdit->text()); });
}

void MountSettingsPage::retext()
{
    m_fileGroup->setTitle(L(159));
    m_fileBrowse->setText(L(62));
    m_settingsGroup->setTitle(L(181));
    m_readWrite->setText(L(182));
    m_autoUnmount->setText(L(183));
    m_commit->setText(L(184));
    m_clearDir->setText(L(185));
    m_folderLabel->setText(L(186));
    m_folderBrowse->setText(L(62));
    m_mountCmdLabel->setText(L(187));
    m_unmountCmdLabel->setText(L(188));
    m_optionsGroup->setTitle(L(189));
    m_indexLabel->setText(L(75));
    m_nameLabel->setText(L(190));
    m_descriptionLabel->setText(L(191));
    m_clearHint->setText(L(99));
    m_clearButton->setText(L(192));
    m_applyButton->setText(L(193));
    m_infoGroup->setTitle(L(65));
    // Until the next action the message box shows the page's help text.
    m_infoShown = false;
    KestrelPage::retext();
}

void MountSettingsPage::setImageFile(const QString& path)
{
    m_fileEdit->setText(path);
}

void MountSettingsPage::dropFile(const QString& path, const QPoint& pos)
{
    auto inside = [pos, this](QWidget* w) {
        return QRect(w->mapTo(this, QPoint(0, 0)), w->size()).contains(pos);
    };
    const QFileInfo info(path);
    if (inside(m_fileEdit) && !info.isDir())
        SetFieldFromDrop(m_fileEdit, path, {QStringLiteral("WIM")});
    else if (inside(m_folderEdit) && info.isDir())
        m_folderEdit->setText(path);
}

void MountSettingsPage::LoadMountSettingsPage(const QString& path)
{
    m_loading = true;
    m_nameEdit->clear();
    m_descriptionEdit->clear();
    for (QCheckBox* b : {m_readWrite, m_autoUnmount, m_commit, m_clearDir})
        b->setChecked(false);
    {
        const QSignalBlocker block(m_indexSpin);
        m_indexSpin->setRange(0, 1);
        m_indexSpin->setValue(1);
        m_indexSpin->setEnabled(false);
    }

    m_stored = MOUNTSETTINGS{};
    ReadMountSettings(path, m_stored);
    m_folderEdit->setText(m_stored.MountPath);
    m_mountCmdEdit->setText(m_stored.MountRunCmd);
    m_unmountCmdEdit->setText(m_stored.UnmountRunCmd);
    m_readWrite->setChecked(m_stored.MountRW != 0);
    m_autoUnmount->setChecked(m_stored.AutoUnmount != 0);
    m_commit->setChecked(m_stored.Commit != 0);
    m_clearDir->setChecked(m_stored.ClearDir != 0);

    m_fileInfo = WIMFILEINFO{};
    m_images.clear();
    m_imageInfoLoaded = false;
    const bool exists = IsExistingFile(path);
    if (exists) {
        const uint32_t count = GetImageFileInfo(path, m_fileInfo);
        if (count > 0) {
            m_images.assign(count, WIMIMAGEINFO{});
            m_imageInfoLoaded = ReadImageInfo(path, m_fileInfo, m_images);
        }
    }
    showInfoBox(true);
    if (m_imageInfoLoaded) {
        const uint32_t count = m_fileInfo.ImageCount;
        const QSignalBlocker block(m_indexSpin);
        m_indexSpin->setEnabled(count > 1);
        m_indexSpin->setRange(0, int(std::min<uint32_t>(count, INT_MAX - 1)) + 1);
        m_indexSpin->showNumber(int(m_stored.MountId));
        showImage(m_stored.MountId ? m_stored.MountId : 1);
        messageBox()->moveCursor(QTextCursor::Start);
    }

    m_editable = IsMountSettingsEditable(exists, m_fileInfo.TotalParts, m_stored.MountedIndex);
    m_readWrite->setEnabled(m_editable);
    m_autoUnmount->setEnabled(m_editable);
    for (QLineEdit* e : {m_folderEdit, m_mountCmdEdit, m_unmountCmdEdit})
        e->setReadOnly(!m_editable);
    m_folderBrowse->setEnabled(m_editable);
    m_commit->setEnabled(m_editable && m_autoUnmount->isChecked() && m_readWrite->isChecked());
    m_clearDir->setEnabled(m_editable && m_autoUnmount->isChecked());
    m_rememberedClearDir = m_clearDir->isChecked();
    m_applyButton->setEnabled(false);
    m_clearButton->setEnabled(m_editable && HasMountSettings(m_stored));
    m_loading = false;
}

void MountSettingsPage::showImage(uint32_t index)
{
    if (!m_imageInfoLoaded || index == 0 || index > m_images.size())
        return;
    for (const QString& line : ShowImageDetails(m_fileInfo, m_images, index, true))
        appendToLog(line + kBreak);
    m_nameEdit->setText(m_images[index - 1].Name);
    m_descriptionEdit->setText(m_images[index - 1].Description);
}

void MountSettingsPage::imageNumberChanged()
{
    if (m_loading || !m_imageInfoLoaded || m_fileInfo.ImageCount == 0)
        return;
    const uint32_t n = WrapImageNumber(m_indexSpin->text(), m_fileInfo.ImageCount);
    m_loading = true;
    m_indexSpin->showNumber(int(n));
    m_loading = false;
    showInfoBox(true);
    showImage(n);
    updateApply();
}

void MountSettingsPage::autoUnmountClicked()
{
    const bool on = m_autoUnmount->isChecked();
    if (on) {
        m_commit->setChecked(m_readWrite->isChecked() && m_stored.Commit != 0);
        m_clearDir->setChecked(m_rememberedClearDir);
    } else {
        m_commit->setChecked(false);
        m_clearDir->setChecked(false);
    }
    m_commit->setEnabled(on && m_readWrite->isChecked());
    m_clearDir->setEnabled(on);
    updateApply();
}

void MountSettingsPage::readWriteClicked()
{
    const bool on = m_readWrite->isChecked();
    if (!on)
        m_commit->setChecked(false);
    // Committing means nothing without a read-write mount that unmounts by itself.
    m_commit->setEnabled(on && m_autoUnmount->isChecked());
    updateApply();
}

uint32_t MountSettingsPage::imageNumber() const
{
    if (!m_imageInfoLoaded)
        return m_stored.MountId;
    return WrapImageNumber(m_indexSpin->text(), m_fileInfo.ImageCount);
}

MOUNTSETTINGS MountSettingsPage::editedSettings() const
{
    MOUNTSETTINGS s = m_stored;
    s.MountId = imageNumber();
    s.MountRW = m_readWrite->isChecked();
    s.AutoUnmount = m_autoUnmount->isChecked();
    s.Commit = m_commit->isChecked();
    s.ClearDir = m_clearDir->isChecked();
    s.MountPath = m_folderEdit->text();
    s.MountRunCmd = m_mountCmdEdit->text();
    s.UnmountRunCmd = m_unmountCmdEdit->text();
    return s;
}

void MountSettingsPage::updateApply()
{
    // While an image of the file is mounted the page only shows its settings.
    if (m_loading || m_stored.MountedIndex != 0)
        return;
    m_applyButton->setEnabled(m_editable && MountSettingsDiffer(m_stored, editedSettings()));
}

void MountSettingsPage::ApplyMountSettings(const QString& path)
{
    showInfoBox(true);
    LogStep(m_task, 179);
    const MOUNTSETTINGS edited = editedSettings();
    const bool ok = m_editable && WriteMountSettings(path, edited, AppSettings().wimTempPath);
    const int error = errno;
    if (ok) {
        m_stored = edited;
        // Commands the user stores here are the user's own.
        if (!edited.MountRunCmd.isEmpty())
            ApproveMountCommand(path, edited.MountRunCmd, edited.UnmountRunCmd);
    }
    LogResult(m_task, ok, true, error);
    m_applyButton->setEnabled(!ok);
    m_clearButton->setEnabled(ok);
}

void MountSettingsPage::ClearMountSettingsOfFile(const QString& path)
{
    showInfoBox(true);
    LogStep(m_task, 180);
    const bool ok = m_editable && ClearMountSettings(path, AppSettings().wimTempPath);
    const int error = errno;
    LogResult(m_task, ok, true, error);
    if (!ok)
        return;
    m_loading = true;
    m_stored = MOUNTSETTINGS{};
    m_stored.MountedIndex = MountedImageIndex(path);
    for (QLineEdit* e : {m_folderEdit, m_mountCmdEdit, m_unmountCmdEdit})
        e->clear();
    for (QCheckBox* b : {m_readWrite, m_autoUnmount, m_commit, m_clearDir})
        b->setChecked(false);
    m_rememberedClearDir = false;
    if (m_imageInfoLoaded)
        m_indexSpin->showNumber(1);
    m_commit->setEnabled(false);
    m_clearDir->setEnabled(false);
    m_applyButton->setEnabled(false);
    m_clearButton->setEnabled(false);
    m_loading = false;
}

void MountSettingsPage::showInfoBox(bool clearIfAsked)
{
    if (!m_infoShown) {
        // The help text makes way for the log.
        m_infoShown = true;
        messageBox()->clear();
        return;
    }
    if (clearIfAsked && m_clearHint->isChecked())
        messageBox()->clear();
}

