// SPDX-License-Identifier: GPL-3.0-or-later
// Construction, texts, the file and folder fields, the image number and the
// enabling of the mount and apply page. The operations are in
// mountpageactions.cpp and mountpageapply.cpp.
#include "pages/mountpage.h"
#include "pages/pagetext.h"

#include "common/desktop.h"
#include "common/errortext.h"
#include "common/language.h"
#include "common/settings.h"
#include "imaging/binding.h"
#include "imaging/taskrun.h"
#include "metadata/infobox.h"
#include "pages/core/mountlogic.h"
#include "ui/configtexteditor.h"
#include "ui/drawing.h"
#include "ui/pickers.h"
#include "ui/sharedcontrols.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>

namespace {

const QString kLineBreak = QStringLiteral("\r\n");
constexpr int kReadOnlyFileText = 374;
constexpr int kFolderNotOpened = 378;

// The Windows read-only attribute: no write permission bit at all. (Root may
// write anyway, so the access check would not tell.)
bool IsReadOnlyFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return true;
    return !(info.permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther));
}

} // namespace

QValidator::State ImageNumberSpin::validate(QString& text, int&) const
{
    for (const QChar c : text) {
        if (!c.isDigit())
            return QValidator::Invalid;
    }
    return QValidator::Acceptable;
}

int ImageNumberSpin::valueFromText(const QString& text) const
{
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok);
    if (!ok || n < 0)
        return 0;
    return n > maximum() ? maximum() : int(n);
}

void ImageNumberSpin::fixup(QString& text) const
{
    if (text.isEmpty())
        text = QStringLiteral("0");
}

void ImageNumberSpin::showNumber(int n)
{
    setValue(n);
    if (lineEdit()->text() != QString::number(n))
        lineEdit()->setText(QString::number(n));
}

MountPage::MountPage(QWidget* parent) : KestrelPage(kPageMount, parent)
{
    buildControls();
    connectControls();
    setupTask();
    const Settings& s = AppSettings();
    m_dblOpenDir->setChecked(s.dblClickOpenDir != 0);
    m_dblUnmount->setChecked(s.dblClickUnMountImage != 0);
    m_dblHeaderAll->setChecked(s.dblClickUnMountAll != 0);
    m_clearHint->setChecked(s.clearHint != 0);
    m_openWhenDone->setChecked(s.autoOpenPath != 0);
    m_stopButton->hide();
    setProgressVisible(false);
    imageFileChanged();
    // The machine's mounts are listed on the worker when the page is first
    // shown: a dead mount can take seconds to answer.
    retext();
    updateButtons();
}

MountPage::~MountPage()
{
    // The worker reads m_task until it returns: let it finish (stopping it
    // when it runs) before the record goes away.
    if (m_applyRunning && TaskWorker().isRunning()) {
        RequestCancel(m_task);
        OperationGate().set();
        TaskWorker().join();
    }
    // A mount step cannot be stopped; it reads the record until it returns.
    if (m_mountBusy && TaskWorker().isRunning())
        TaskWorker().join();
    m_task.Poster = nullptr;
}

void MountPage::buildControls()
{
    const int u = LayoutUnit();
    // Not fixed: as wide as the window when the tab row makes that wider,
    // and the window as large as the texts of the language need.
    setMinimumSize(pageSize());
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(u, u, u, u);
    top->setSpacing(u);

    auto fieldGroup = [this](QGroupBox*& group, QLineEdit*& edit, QPushButton*& browse, const char* name) {
        group = new QGroupBox(this);
        auto* row = new QHBoxLayout(group);
        edit = new QLineEdit(group);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setMaxLength(511);
        browse = new QPushButton(group);
        row->addWidget(edit, 1);
        row->addWidget(browse);
        return group;
    };
    auto* fields = new QHBoxLayout;
    fields->addWidget(fieldGroup(m_fileGroup, m_fileEdit, m_fileBrowse, "imageFile"), 1);
    fields->addWidget(fieldGroup(m_folderGroup, m_folderEdit, m_folderBrowse, "targetFolder"), 1);
    m_fileBrowse->setObjectName(QStringLiteral("browseFile"));
    m_folderBrowse->setObjectName(QStringLiteral("browseFolder"));
    top->addLayout(fields);

    auto* buttons = new QHBoxLayout;
    m_indexLabel = new QLabel(this);
    m_indexSpin = new ImageNumberSpin(this);
    m_indexSpin->setObjectName(QStringLiteral("imageNumber"));
    m_indexSpin->setMinimumWidth(10 * u);
    auto makeButton = [this](const char* name) {
        auto* b = new QPushButton(this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    m_mountButton = makeButton("mount");
    m_unmountButton = makeButton("unmount");
    m_refreshButton = makeButton("refresh");
    m_applyButton = makeButton("apply");
    m_stopButton = makeButton("stop");
    m_configButton = makeButton("configuration");
    buttons->addWidget(m_indexLabel);
    buttons->addWidget(m_indexSpin);
    buttons->addStretch(1);
    for (QPushButton* b : {m_mountButton, m_unmountButton, m_refreshButton, m_applyButton, m_stopButton, m_configButton})
        buttons->addWidget(b);
    top->addLayout(buttons);

    // Check boxes in a grid of their group, row by row.
    auto addBox = [](QGroupBox* group, QGridLayout* grid, int row, int column, const char* name) {
        auto* box = new QCheckBox(group);
        box->setObjectName(QString::fromLatin1(name));
        grid->addWidget(box, row, column);
        return box;
    };
    auto* options = new QHBoxLayout;
    m_options1Group = new QGroupBox(this);
    auto* o1 = new QGridLayout(m_options1Group);
    m_cleanInvalid = addBox(m_options1Group, o1, 0, 0, "cleanInvalidMounts");
    m_dblOpenDir = addBox(m_options1Group, o1, 0, 1, "doubleClickOpensFolder");
    m_dblUnmount = addBox(m_options1Group, o1, 1, 0, "doubleClickUnmounts");
    m_dblHeaderAll = addBox(m_options1Group, o1, 1, 1, "headerUnmountsAll");
    m_options2Group = new QGroupBox(this);
    auto* o2 = new QGridLayout(m_options2Group);
    m_readWrite = addBox(m_options2Group, o2, 0, 0, "readWrite");
    m_clearSecurity = addBox(m_options2Group, o2, 0, 1, "clearSecurity");
    m_clearHint = addBox(m_options2Group, o2, 0, 2, "clearBeforeTask");
    m_openWhenDone = addBox(m_options2Group, o2, 1, 0, "openWhenDone");
    m_noConfig = addBox(m_options2Group, o2, 1, 1, "noConfiguration");
    options->addWidget(m_options1Group, 2);
    options->addWidget(m_options2Group, 3);
    top->addLayout(options);

    m_componentLine = new QLabel(this);
    m_componentLine->setObjectName(QStringLiteral("componentLine"));
    QPalette blue = m_componentLine->palette();
    blue.setColor(QPalette::WindowText, BrushColor(kBrushHeading));
    m_componentLine->setPalette(blue);
    top->addWidget(m_componentLine);

    top->addLayout(m_progressRow.build(this));

    m_listGroup = new QGroupBox(this);
    auto* listLayout = new QVBoxLayout(m_listGroup);
    m_list = new QTreeWidget(m_listGroup);
    m_list->setObjectName(QStringLiteral("mountedImages"));
    m_list->setColumnCount(kColumnCount);
    m_list->setRootIsDecorated(false);
    m_list->setAlternatingRowColors(true);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(kColLock, QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(kColImageFile, QHeaderView::Stretch);
    m_list->header()->setSectionResizeMode(kColMountPath, QHeaderView::Stretch);
    m_list->header()->setSectionResizeMode(kColIndex, QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(kColReadWrite, QHeaderView::ResizeToContents);
    m_list->header()->setSectionsClickable(true);
    listLayout->addWidget(m_list);
    // The list and the log share the rest of the page by their stretch, not
    // by the size their contents would like.
    m_list->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    messageBox()->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    // Yet never fewer than five rows of the list (the lock marks of five
    // mounts) and five lines of the log.
    const int row = std::max(fontMetrics().height(), style()->pixelMetric(QStyle::PM_IndicatorHeight)) + u / 2;
    m_list->setMinimumHeight(m_list->header()->sizeHint().height() + 5 * row + 2 * m_list->frameWidth());
    messageBox()->setMinimumHeight(5 * fontMetrics().lineSpacing() + 2 * messageBox()->frameWidth() + u);
    top->addWidget(m_listGroup, 2);

    m_infoGroup = new QGroupBox(this);
    auto* infoLayout = new QVBoxLayout(m_infoGroup);
    messageBox()->setParent(m_infoGroup);
    infoLayout->addWidget(messageBox());
    top->addWidget(m_infoGroup, 3);
}

void MountPage::connectControls()
{
    connect(m_fileEdit, &QLineEdit::textChanged, this, [this] {
        imageFileChanged();
        updateButtons();
    });
    connect(m_folderEdit, &QLineEdit::textChanged, this, &MountPage::updateButtons);
    connect(m_indexSpin, &QSpinBox::textChanged, this, &MountPage::imageNumberChanged);
    connect(m_fileBrowse, &QPushButton::clicked, this, [this] {
        const QString file = PickOpenFile(this, L(132), L(133), QStringLiteral("*.WIM;*.SWM;*.ESD"),
                                          m_fileEdit->text());
        if (!file.isEmpty())
            m_fileEdit->setText(file);
    });
    connect(m_folderBrowse, &QPushButton::clicked, this, [this] {
        const QString folder = PickFolder(this, L(38), L(345), m_folderEdit->text());
        if (!folder.isEmpty())
            m_folderEdit->setText(folder);
    });
    connect(m_mountButton, &QPushButton::clicked, this, &MountPage::mountImage);
    connect(m_unmountButton, &QPushButton::clicked, this, &MountPage::unmountFromButton);
    connect(m_refreshButton, &QPushButton::clicked, this, &MountPage::refreshList);
    connect(m_applyButton, &QPushButton::clicked, this, &MountPage::applyImage);
    connect(m_stopButton, &QPushButton::clicked, this, &MountPage::stopApply);
    connect(m_configButton, &QPushButton::clicked, this, [this] { ConfigTextEditor(this); });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &MountPage::rowDoubleClicked);
    // Only a click on a row copies it into the boxes: the list also gets a
    // current row when it takes the focus back after an operation, and the
    // boxes must keep what the user typed or the last mount made.
    connect(m_list, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        if (!item || isBusy())
            return;
        m_fileEdit->setText(item->text(kColImageFile));
        m_folderEdit->setText(item->text(kColMountPath));
    });
    connect(m_readWrite, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_readWriteGuard)
            m_readWriteWish = on;
    });
    connect(m_list->header(), &QHeaderView::sectionDoubleClicked, this, [this] {
        if (m_dblHeaderAll->isChecked())
            unmountAllUnlocked();
    });
}

void MountPage::retext()
{
    m_fileGroup->setTitle(L(59));
    m_folderGroup->setTitle(L(60));
    m_listGroup->setTitle(L(61));
    m_options2Group->setTitle(L(63));
    m_options1Group->setTitle(L(64));
    m_infoGroup->setTitle(L(65));
    m_fileBrowse->setText(L(62));
    m_folderBrowse->setText(L(62));
    m_indexLabel->setText(L(75));
    m_mountButton->setText(L(57));
    m_unmountButton->setText(L(56));
    m_refreshButton->setText(L(58));
    m_applyButton->setText(L(54));
    m_configButton->setText(L(55));
    m_stopButton->setText(L(76));
    m_cleanInvalid->setText(L(66));
    m_dblOpenDir->setText(L(67));
    m_dblUnmount->setText(L(68));
    m_dblHeaderAll->setText(L(69));
    m_clearSecurity->setText(L(70));
    m_clearHint->setText(L(71));
    m_readWrite->setText(L(72));
    m_openWhenDone->setText(L(73));
    m_noConfig->setText(L(74));
    m_list->setHeaderLabels({L(33), L(34), L(35), L(36), L(37)});
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        item->setText(kColReadWrite, L(item->data(kColReadWrite, Qt::UserRole).toBool() ? 23 : 24));
    }
    m_componentLine->setText(L(77) + DescribeImagingComponents());
    m_task.ElapsedPrefix = L(51);
    m_task.RemainingPrefix = L(52);
    m_task.CountPrefix = L(53);
    // Until the next action the message box shows the page's help text.
    if (!isApplying()) {
        m_infoShown = false;
        KestrelPage::retext();
    }
}

void MountPage::setImageFile(const QString& path)
{
    m_fileEdit->setText(path);
}

void MountPage::setDirectory(const QString& path)
{
    m_folderEdit->setText(path);
}

void MountPage::pageShown()
{
    if (!m_listed) {
        m_listed = true;
        listMounts();
    }
    updateButtons();
}

void MountPage::dropFile(const QString& path, const QPoint& pos)
{
    auto inside = [pos, this](QWidget* w) {
        return QRect(w->mapTo(this, QPoint(0, 0)), w->size()).contains(pos);
    };
    const QFileInfo info(path);
    if (inside(m_fileGroup) && !info.isDir())
        SetFieldFromDrop(m_fileEdit, path, {QStringLiteral("WIM"), QStringLiteral("ESD"), QStringLiteral("SWM")});
    else if (inside(m_folderGroup) && info.isDir())
        m_folderEdit->setText(path);
}

void MountPage::updateButtons()
{
    if (isApplying() || isLocked())
        return;
    MountPageInputs in;
    in.imageFile = m_fileEdit->text();
    in.folder = m_folderEdit->text();
    in.totalParts = m_fileInfo.TotalParts;
    in.compressionType = m_fileInfo.CompressionType;
    in.canMount = HasMountFunctions();
    const MountPageButtons b = DecideMountPageButtons(in, m_snapshot);
    m_mountButton->setEnabled(b.mount);
    m_unmountButton->setEnabled(b.unmount);
    m_applyButton->setEnabled(b.apply);
}

void MountPage::releaseImageInfo()
{
    m_images.clear();
    m_imageInfoLoaded = false;
    const QSignalBlocker block(m_indexSpin);
    m_indexSpin->setRange(1, 1);
    m_indexSpin->setValue(1);
}

void MountPage::imageFileChanged()
{
    const QString path = m_fileEdit->text();
    // While a path is typed it names missing files; the user's choice stands
    // until an existing file forbids it.
    const bool forbidden = IsExistingFile(path) && IsReadOnlyFile(path);
    {
        m_readWriteGuard = true;
        m_readWrite->setChecked(m_readWriteWish && !forbidden);
        m_readWriteGuard = false;
    }
    m_readWrite->setEnabled(!forbidden);
    {
        const QSignalBlocker block(m_indexSpin);
        m_indexSpin->setRange(1, 1);
        m_indexSpin->setValue(1);
        m_indexSpin->setReadOnly(true);
        m_indexSpin->setEnabled(false);
    }

    m_fileInfo = WIMFILEINFO{};
    m_images.clear();
    m_imageInfoLoaded = false;
    bool ok = false;
    int error = 0;
    const bool exists = IsExistingFile(path);
    if (exists) {
        errno = 0;
        const uint32_t count = GetImageFileInfo(path, m_fileInfo);
        error = errno;
        if (count > 0) {
            const QSignalBlocker block(m_indexSpin);
            m_indexSpin->setEnabled(count > 1);
            m_indexSpin->setRange(0, int(std::min<uint32_t>(count, INT_MAX - 1)) + 1);
            m_indexSpin->setValue(1);
            m_indexSpin->setReadOnly(false);
            m_images.assign(count, WIMIMAGEINFO{});
            errno = 0;
            ok = ReadImageInfo(path, m_fileInfo, m_images);
            error = errno;
        }
    }
    if (ok) {
        m_imageInfoLoaded = true;
        showInfoBox(true);
        showDetails(1);
        messageBox()->moveCursor(QTextCursor::Start);
        messageBox()->verticalScrollBar()->setValue(0);
    } else {
        releaseImageInfo();
        if (m_infoShown)
            clearInfoBox();
        // A file that is there but cannot be read says why.
        if (exists && error != 0) {
            showInfoBox(false);
            appendToLog(path + kLineBreak + L(22) + QStringLiteral(": ") + ErrnoText(error) + kLineBreak);
        }
    }
    if (forbidden && m_readWriteWish) {
        showInfoBox(false);
        appendToLog(L(kReadOnlyFileText) + kLineBreak);
    }
}

void MountPage::imageNumberChanged()
{
    if (m_numberGuard || !m_imageInfoLoaded || m_fileInfo.ImageCount == 0)
        return;
    const uint32_t n = WrapImageNumber(m_indexSpin->text(), m_fileInfo.ImageCount);
    m_numberGuard = true;
    m_indexSpin->showNumber(int(n));
    m_numberGuard = false;
    showInfoBox(true);
    // The details start at their first line, wherever the log was.
    const int start = messageBox()->document()->characterCount() - 1;
    showDetails(n);
    QTextCursor at(messageBox()->document());
    at.setPosition(std::max(0, start));
    messageBox()->setTextCursor(at);
    messageBox()->ensureCursorVisible();
}

void MountPage::showDetails(uint32_t index)
{
    for (const QString& line : ShowImageDetails(m_fileInfo, m_images, index, false))
        appendToLog(line + QStringLiteral("\r\n"));
}

uint32_t MountPage::imageNumber() const
{
    return m_indexSpin->value() > 0 ? uint32_t(m_indexSpin->value()) : 1;
}

void MountPage::showInfoBox(bool clearIfAsked)
{
    if (!m_infoShown) {
        // The help text makes way for the log.
        m_infoShown = true;
        clearInfoBox();
        return;
    }
    if (clearIfAsked && m_clearHint->isChecked())
        clearInfoBox();
}

void MountPage::clearInfoBox()
{
    messageBox()->clear();
}



void MountPage::openFolder(const QString& folder)
{
    if (!OpenFolderInShell(folder)) {
        showInfoBox(false);
        appendToLog(L(kFolderNotOpened) + folder + kLineBreak);
    }
}
