// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settingspage.h"

#include "common/language.h"
#include "common/systemwidth.h"
#include "ui/drawing.h"
#include "ui/languagewidgets.h"
#include "ui/pickers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextCursor>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString ButtonText(const QString& text)
{
    return QString(text).replace(u'&', QStringLiteral("&&"));
}

template <typename T>
T* Named(T* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// The option boxes other pages show for the same settings, by their object
// names there.
struct MirroredBox {
    int page;
    const char* name;
    uint32_t Settings::*field;
};
constexpr MirroredBox kMirroredBoxes[] = {
    {kPageMount, "doubleClickOpensFolder", &Settings::dblClickOpenDir},
    {kPageMount, "doubleClickUnmounts", &Settings::dblClickUnMountImage},
    {kPageMount, "headerUnmountsAll", &Settings::dblClickUnMountAll},
    {kPageMount, "clearBeforeTask", &Settings::clearHint},
    {kPageMount, "openWhenDone", &Settings::autoOpenPath},
    {kPageCapture, "clearBeforeTask", &Settings::clearHint},
    {kPageExport, "clearBeforeTask", &Settings::clearHint},
    {kPageIcon, "clearBeforeTask", &Settings::clearHint},
};

} // namespace

SettingsPage::SettingsPage(QWidget* parent) : KestrelPage(kPageSettings, parent)
{
    buildControls();
    connectControls();
    loadControls(AppSettings());
    retext();
}

SettingsPage::~SettingsPage()
{
    // A clean still running works on folders only; let it end before the
    // page (its receiver) goes.
    if (m_cleaner) {
        m_cleaner->wait();
        delete m_cleaner;
    }
}

void SettingsPage::buildControls()
{
    const int u = LayoutUnit();
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(u, u, u, u);
    top->setSpacing(u);

    m_folderGroup = Named(new QGroupBox(this), "folderGroup");
    auto* folders = new QGridLayout(m_folderGroup);
    folders->setHorizontalSpacing(u);
    auto addFolderRow = [&](int row, QLabel*& label, QLineEdit*& edit, QPushButton*& browse,
                            QPushButton*& clean, const char* editName, const char* browseName,
                            const char* cleanName) {
        label = new QLabel(m_folderGroup);
        edit = Named(new QLineEdit(m_folderGroup), editName);
        browse = Named(new QPushButton(m_folderGroup), browseName);
        clean = Named(new QPushButton(m_folderGroup), cleanName);
        folders->addWidget(label, row, 0);
        folders->addWidget(edit, row, 1);
        folders->addWidget(browse, row, 2);
        folders->addWidget(clean, row, 3);
    };
    addFolderRow(0, m_mountLabel, m_mountEdit, m_mountBrowse, m_mountClean, "mountBaseFolder", "browseMountBase",
                 "cleanMountBase");
    addFolderRow(1, m_tempLabel, m_tempEdit, m_tempBrowse, m_tempClean, "tempFolder", "browseTemp", "cleanTemp");
    folders->setColumnStretch(1, 1);
    top->addWidget(m_folderGroup);

    auto* middle = new QHBoxLayout;
    middle->setSpacing(u);
    m_optionGroup = Named(new QGroupBox(this), "optionGroup");
    auto* options = new QGridLayout(m_optionGroup);
    options->setHorizontalSpacing(2 * u);
    int index = 0;
    auto addBox = [&](const char* name) {
        auto* box = Named(new QCheckBox(m_optionGroup), name);
        options->addWidget(box, index / 2, index % 2);
        ++index;
        return box;
    };
    m_clearHint = addBox("clearHint");
    m_dblOpenDir = addBox("dblClickOpenDir");
    m_unMountAutoRun = addBox("unMountAutoRunCmd");
    m_dblUnmountImage = addBox("dblClickUnMountImage");
    m_dblUnmountAll = addBox("dblClickUnMountAll");
    m_autoOpenPath = addBox("autoOpenPath");
    auto* compressRow = new QHBoxLayout;
    m_compressLabel = new QLabel(m_optionGroup);
    m_compression = Named(new QComboBox(m_optionGroup), "compressType");
    compressRow->addWidget(m_compressLabel);
    compressRow->addWidget(m_compression, 1);
    options->addLayout(compressRow, 3, 0, 1, 2);
    middle->addWidget(m_optionGroup, 1);

    auto* buttons = new QGridLayout;
    buttons->setSpacing(u);
    auto addButton = [&](int row, int column, const char* name) {
        auto* b = Named(new QPushButton(this), name);
        b->setMinimumHeight(6 * u);
        buttons->addWidget(b, row, column);
        return b;
    };
    m_associate = addButton(0, 0, "associate");
    m_unassociate = addButton(0, 1, "unassociate");
    m_register = addButton(1, 0, "registerExtensions");
    m_unregister = addButton(1, 1, "unregisterExtensions");
    m_defaults = addButton(2, 0, "defaultSettings");
    m_save = addButton(2, 1, "saveSettings");
    middle->addLayout(buttons);
    top->addLayout(middle);

    m_messageGroup = Named(new QGroupBox(this), "messageGroup");
    auto* messages = new QVBoxLayout(m_messageGroup);
    m_messageStack = new QStackedWidget(m_messageGroup);
    m_helpBox = Named(new QPlainTextEdit(m_messageStack), "helpBox");
    m_helpBox->setReadOnly(true);
    m_helpBox->setFont(MainFont());
    SetBrushColour(m_helpBox, QPalette::Base, kBrushWhite);
    SetBrushColour(m_helpBox, QPalette::Text, kBrushBlack);
    m_messageStack->addWidget(m_helpBox);
    m_messageStack->addWidget(messageBox());
    messages->addWidget(m_messageStack);
    top->addWidget(m_messageGroup, 1);

    const bool usable = ExtensionButtonsUsable();
    m_register->setEnabled(usable);
    m_unregister->setEnabled(usable);
}

void SettingsPage::connectControls()
{
    connect(m_mountBrowse, &QPushButton::clicked, this, [this] { browseFolder(WorkFolder::MountBase); });
    connect(m_tempBrowse, &QPushButton::clicked, this, [this] { browseFolder(WorkFolder::Temporary); });
    connect(m_mountClean, &QPushButton::clicked, this, [this] { cleanFolder(WorkFolder::MountBase); });
    connect(m_tempClean, &QPushButton::clicked, this, [this] { cleanFolder(WorkFolder::Temporary); });
    connect(m_associate, &QPushButton::clicked, this, [this] { runShellButton(0); });
    connect(m_unassociate, &QPushButton::clicked, this, [this] { runShellButton(1); });
    connect(m_register, &QPushButton::clicked, this, [this] { runShellButton(2); });
    connect(m_unregister, &QPushButton::clicked, this, [this] { runShellButton(3); });
    connect(m_defaults, &QPushButton::clicked, this, &SettingsPage::restoreSettings);
    connect(m_save, &QPushButton::clicked, this, &SettingsPage::saveSettings);
}

bool SettingsPage::ExtensionButtonsUsable()
{
    return BuildMatchesSystemWidth(SystemMachine());
}

void SettingsPage::retext()
{
    m_folderGroup->setTitle(GetLanguageString(235));
    m_mountLabel->setText(GetLanguageString(237));
    m_tempLabel->setText(GetLanguageString(238));
    for (QPushButton* b : {m_mountBrowse, m_tempBrowse})
        b->setText(ButtonText(GetLanguageString(62)));
    for (QPushButton* b : {m_mountClean, m_tempClean})
        b->setText(ButtonText(GetLanguageString(236)));
    m_optionGroup->setTitle(GetLanguageString(243));
    m_clearHint->setText(ButtonText(GetLanguageString(244)));
    m_dblOpenDir->setText(ButtonText(GetLanguageString(67)));
    m_unMountAutoRun->setText(ButtonText(GetLanguageString(87)));
    m_dblUnmountImage->setText(ButtonText(GetLanguageString(68)));
    m_dblUnmountAll->setText(ButtonText(GetLanguageString(69)));
    m_autoOpenPath->setText(ButtonText(GetLanguageString(245)));
    m_compressLabel->setText(GetLanguageString(96));
    FillCompressTypeList(m_compression, int(std::clamp<uint32_t>(AppSettings().compressType, 1, 4)) - 1);
    m_associate->setText(ButtonText(GetLanguageString(233)));
    m_unassociate->setText(ButtonText(GetLanguageString(234)));
    m_register->setText(ButtonText(GetLanguageString(242)));
    m_unregister->setText(ButtonText(GetLanguageString(241)));
    m_defaults->setText(ButtonText(GetLanguageString(240)));
    m_save->setText(ButtonText(GetLanguageString(239)));
    m_messageGroup->setTitle(GetLanguageString(65));
    m_helpBox->setPlainText(TabPages()[pageNumber()].helpText.join(u'\n'));
    m_helpBox->moveCursor(QTextCursor::Start);
    m_messageStack->setCurrentWidget(m_helpBox);
}

bool SettingsPage::logShown() const
{
    return m_messageStack->currentWidget() == messageBox();
}

void SettingsPage::loadControls(const Settings& s)
{
    m_mountEdit->setText(s.autoMountPath);
    m_tempEdit->setText(s.wimTempPath);
    m_clearHint->setChecked(s.clearHint != 0);
    m_dblOpenDir->setChecked(s.dblClickOpenDir != 0);
    m_unMountAutoRun->setChecked(s.unMountAutoRunCmd != 0);
    m_dblUnmountImage->setChecked(s.dblClickUnMountImage != 0);
    m_dblUnmountAll->setChecked(s.dblClickUnMountAll != 0);
    m_autoOpenPath->setChecked(s.autoOpenPath != 0);
    const int position = int(std::clamp<uint32_t>(s.compressType, 1, 4)) - 1;
    if (position < m_compression->count())
        m_compression->setCurrentIndex(position);
}

Settings SettingsPage::valuesFromControls() const
{
    Settings s = AppSettings();
    s.clearHint = m_clearHint->isChecked() ? 1 : 0;
    s.dblClickOpenDir = m_dblOpenDir->isChecked() ? 1 : 0;
    s.unMountAutoRunCmd = m_unMountAutoRun->isChecked() ? 1 : 0;
    s.dblClickUnMountImage = m_dblUnmountImage->isChecked() ? 1 : 0;
    s.dblClickUnMountAll = m_dblUnmountAll->isChecked() ? 1 : 0;
    s.autoOpenPath = m_autoOpenPath->isChecked() ? 1 : 0;
    s.autoMountPath = m_mountEdit->text();
    s.wimTempPath = m_tempEdit->text();
    // Without a compression list (a language file lacking the section) the
    // stored choice stays.
    if (m_compression->currentIndex() >= 0)
        s.compressType = uint32_t(m_compression->currentIndex() + 1);
    return s;
}

void SettingsPage::startCommand()
{
    m_messageStack->setCurrentWidget(messageBox());
    if (m_clearHint->isChecked())
        messageBox()->clear();
    appendToLog(QStringLiteral("\r\n"));
}

void SettingsPage::mirrorToOtherPages(const Settings& s)
{
    for (const MirroredBox& m : kMirroredBoxes) {
        KestrelPage* page = TabPages()[m.page].window;
        if (!page || page == this)
            continue;
        if (auto* box = page->findChild<QCheckBox*>(QString::fromLatin1(m.name)))
            box->setChecked(s.*m.field != 0);
    }
}

void SettingsPage::browseFolder(WorkFolder which)
{
    QLineEdit* edit = which == WorkFolder::MountBase ? m_mountEdit : m_tempEdit;
    const QString chosen = PickFolder(this, GetLanguageString(which == WorkFolder::MountBase ? 230 : 231),
                                      GetLanguageString(345), edit->text());
    if (!chosen.isEmpty())
        edit->setText(chosen);
}

void SettingsPage::dropFile(const QString& path, const QPoint& pos)
{
    if (!QFileInfo(path).isDir())
        return;
    for (QLineEdit* edit : {m_mountEdit, m_tempEdit}) {
        if (edit->rect().contains(edit->mapFrom(this, pos))) {
            edit->setText(path);
            return;
        }
    }
}
