// SPDX-License-Identifier: GPL-3.0-or-later
// The browser page's controls, its listings and the walk through them.
#include "pages/browserpage.h"

#include "common/settings.h"
#include "imaging/taskrun.h"
#include "pages/browserpageview.h"
#include "pages/pagetext.h"
#include "ui/drawing.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>


namespace {

// The folder above `folder` (both end in "/"): "/a/b/" gives "/a/".
QString parentFolder(const QString& folder)
{
    QString f = folder;
    if (f.endsWith(u'/'))
        f.chop(1);
    const qsizetype slash = f.lastIndexOf(u'/');
    return slash < 0 ? QStringLiteral("/") : f.left(slash + 1);
}

QString withSlash(const QString& path)
{
    return path.endsWith(u'/') ? path : path + u'/';
}

} // namespace

BrowserPage::BrowserPage(QWidget* parent) : KestrelPage(kPageBrowser, parent)
{
    m_task.Poster = this;
    buildControls();
    connectControls();
    retext();
}

BrowserPage::~BrowserPage()
{
    // The worker reads the record and the reader until it returns.
    if (m_busy && TaskWorker().isRunning())
        TaskWorker().join();
    m_task.Poster = nullptr;
    m_reader->close();
}

void BrowserPage::buildControls()
{
    const int u = LayoutUnit();
    messageBox()->hide(); // the page has no help text and no log

    m_back = new QToolButton(this);
    m_back->setObjectName(QStringLiteral("back"));
    m_back->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    m_back->setAutoRaise(true);
    m_back->setEnabled(false);
    m_pathLabel = new QLabel(this);
    m_fileLabel = new QLabel(this);
    m_dirLabel = new QLabel(this);
    for (QLabel* label : {m_pathLabel, m_fileLabel, m_dirLabel}) {
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setMinimumWidth(4 * u);
    }
    SetBrushColour(m_dirLabel, QPalette::WindowText, kBrushHeading);
    m_fileLabel->hide();
    m_dirLabel->hide();
    m_busyBar = new QProgressBar(this);
    m_busyBar->setRange(0, 0);
    m_busyBar->setMaximumWidth(20 * u);
    m_busyBar->hide();
    m_busyTimer.setSingleShot(true);
    m_busyTimer.setInterval(300);

    m_model = new BrowserModel(this);
    m_model->setDecorationProvider([this](const BrowserRow& row) { return rowIcon(row); });
    m_view = new BrowserPageView(this);
    m_view->setObjectName(QStringLiteral("list"));
    m_view->setModel(m_model);
    m_view->setColumnHidden(BrowserModel::kColKind, true);
    m_view->verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + u / 2 + 4);
    m_view->setIconSize(QSize(16, 16));

    m_renameEdit = new QLineEdit(m_view->viewport());
    m_renameEdit->setObjectName(QStringLiteral("rename"));
    m_renameEdit->hide();
    m_renameEdit->installEventFilter(this);

    m_ownIcons = new QCheckBox(this);
    m_ownIcons->setObjectName(QStringLiteral("ownIcons"));
    m_openOnDouble = new QCheckBox(this);
    m_openOnDouble->setObjectName(QStringLiteral("openOnDoubleClick"));
    m_recompress = new QCheckBox(this);
    m_recompress->setObjectName(QStringLiteral("recompress"));
    m_openWhenDone = new QCheckBox(this);
    m_openWhenDone->setObjectName(QStringLiteral("openWhenDone"));
    m_openWhenDone->setChecked(true);

    auto* top = new QHBoxLayout;
    top->addWidget(m_back);
    top->addWidget(m_pathLabel, 1);
    top->addWidget(m_fileLabel);
    top->addSpacing(2 * u);
    top->addWidget(m_dirLabel, 1);
    top->addWidget(m_busyBar);
    auto* boxes = new QHBoxLayout;
    for (QCheckBox* box : {m_ownIcons, m_openOnDouble, m_recompress, m_openWhenDone})
        boxes->addWidget(box);
    boxes->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(u / 2, u / 2, u / 2, u / 2);
    layout->addLayout(top);
    layout->addWidget(m_view, 1);
    layout->addLayout(boxes);
}

void BrowserPage::connectControls()
{
    connect(m_back, &QToolButton::clicked, this, &BrowserPage::GoBack);
    connect(m_view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            OpenRow(index.row());
    });
    connect(m_view, &BrowserPageView::openKey, this, [this] {
        if (m_view->currentIndex().isValid())
            OpenRow(m_view->currentIndex().row());
    });
    connect(m_view, &BrowserPageView::backKey, this, [this] {
        if (m_back->isEnabled())
            GoBack();
    });
    connect(m_view, &BrowserPageView::renameKey, this, &BrowserPage::StartRename);
    connect(m_view, &BrowserPageView::scrolled, this, &BrowserPage::CancelRename);
    connect(m_view, &BrowserPageView::resized, this, &BrowserPage::updateFillRows);
    connect(m_view, &BrowserPageView::dragRequested, this, &BrowserPage::startDragOut);
    connect(m_view, &QWidget::customContextMenuRequested, this, &BrowserPage::showRowMenu);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { selectionMoved(current); });
    connect(m_ownIcons, &QCheckBox::toggled, this, [this] {
        // The icons are read with the listing.
        if (m_viewMode == 0 && m_folderDepth > 0)
            ShowFolder();
    });
    connect(&m_busyTimer, &QTimer::timeout, this, [this] {
        if (m_busy)
            m_busyBar->show();
    });
}

void BrowserPage::retext()
{
    KestrelPage::retext();
    messageBox()->hide();
    m_model->setHeaderTexts({L(313), L(314), L(315), L(316), L(317), L(318)});
    m_ownIcons->setText(L(319));
    m_openOnDouble->setText(L(320));
    m_recompress->setText(L(340));
    m_openWhenDone->setText(L(341));
    m_back->setToolTip(L(346));
    updateLabels();
    fitColumns();
}

void BrowserPage::fitColumns()
{
    QHeaderView* header = m_view->horizontalHeader();
    const QFontMetrics fm(m_view->font());
    const int pad = 2 * LayoutUnit();
    auto fit = [&](int column, const QString& sample) {
        const QString title = m_model->headerData(column, Qt::Horizontal).toString();
        m_view->setColumnWidth(column, std::max(fm.horizontalAdvance(sample), fm.horizontalAdvance(title)) + pad);
    };
    fit(BrowserModel::kColNumber, QStringLiteral("00000"));
    fit(BrowserModel::kColType, QStringLiteral("XXXXXXXXXXXXXXXXXX"));
    fit(BrowserModel::kColSize, QStringLiteral("1023.99 MB"));
    fit(BrowserModel::kColCreated, QStringLiteral("0000-00-00 00:00:00"));
    fit(BrowserModel::kColModified, QStringLiteral("0000-00-00 00:00:00"));
    header->setSectionResizeMode(BrowserModel::kColName, QHeaderView::Stretch);
    header->setMinimumSectionSize(fm.horizontalAdvance(QStringLiteral("000")));
}

void BrowserPage::pageShown()
{
    if (m_listed)
        return;
    m_listed = true;
    ShowDriveList();
}

void BrowserPage::updateFillRows()
{
    const int rowHeight = std::max(1, m_view->verticalHeader()->defaultSectionSize());
    // Whole rows only: a part row would make the greyed scroll bar scroll.
    m_model->setFillRows(m_view->viewport()->height() / rowHeight);
}

QString BrowserPage::imageFilePath() const
{
    QString path = m_currentFolder;
    if (path.endsWith(u'/'))
        path.chop(1);
    return path;
}

void BrowserPage::updateLabels()
{
    const bool inside = m_viewMode >= 2;
    m_pathLabel->setVisible(!inside);
    m_fileLabel->setVisible(inside);
    m_dirLabel->setVisible(inside);
    if (m_viewMode == 0 && m_folderDepth == 0)
        m_pathLabel->setText(L(410));
    else if (m_viewMode == 0)
        m_pathLabel->setText(m_currentFolder);
    else
        m_pathLabel->setText(imageFilePath());
    m_fileLabel->setText(imageFilePath());
    m_dirLabel->setText(QStringLiteral("Image(%1)").arg(m_selectedImage) + m_imageDirPath + u'\\');
    m_back->setEnabled(m_viewMode > 0 || m_folderDepth > 0);
}

bool BrowserPage::runWork(std::function<void()> work, std::function<void()> done)
{
    if (m_busy || !PrepareTaskStart(std::chrono::milliseconds(0)))
        return false;
    m_busy = true;
    m_busyTimer.start();
    auto finish = [this, done = std::move(done)] {
        m_busy = false;
        m_busyTimer.stop();
        m_busyBar->hide();
        if (done)
            done();
    };
    auto guarded = [work = std::move(work)] {
        try {
            work();
        } catch (...) {
            // What the work left stands; the page shows it as it is.
        }
    };
    if (!StartTaskWorker(m_task, guarded, finish)) {
        m_busy = false;
        m_busyTimer.stop();
        return false;
    }
    return true;
}

void BrowserPage::listWith(std::function<BrowserListing()> make, std::function<void()> after)
{
    CancelRename();
    auto result = std::make_shared<BrowserListing>();
    // Outside an image its file is let go, on the worker (freeing a large
    // image's metadata takes a moment).
    const bool keepImage = m_viewMode >= 2;
    const bool started = runWork(
        [result, make = std::move(make), reader = m_reader, keepImage] {
            if (!keepImage)
                reader->close();
            *result = make();
        },
                                 [this, result, after = std::move(after)] {
                                     m_view->selectionModel()->clearCurrentIndex();
                                     m_view->clearSelection();
                                     m_selectedRow = -1;
                                     m_model->setListing(std::move(result->rows));
                                     m_view->scrollToTop();
                                     updateLabels();
                                     if (after)
                                         after();
                                 });
    if (!started)
        updateLabels();
}

void BrowserPage::ShowDriveList()
{
    m_viewMode = 0;
    m_folderDepth = 0;
    m_currentFolder.clear();
    m_imageDirPath.clear();
    m_selectedPath.clear();
    listWith(&ListDrives);
}

void BrowserPage::ShowFolder()
{
    const QString folder = m_currentFolder;
    const bool icons = m_ownIcons->isChecked();
    listWith([folder, icons] { return ListFolder(folder, icons); });
}

void BrowserPage::OpenImageFile(const QString& path)
{
    m_viewMode = 1;
    m_currentFolder = path;
    m_imageDirPath.clear();
    const QString file = imageFilePath();
    listWith([file] { return ListImages(file); });
}

void BrowserPage::ShowImageDirectory()
{
    relistImageDirectory({});
}

void BrowserPage::relistImageDirectory(std::function<void()> after)
{
    const QString file = imageFilePath();
    const uint32_t image = m_selectedImage;
    const QString dir = m_imageDirPath;
    const QString temp = AppSettings().wimTempPath;
    listWith([reader = m_reader, file, image, dir, temp] { return reader->list(file, image, dir, temp); },
             std::move(after));
}

void BrowserPage::OpenRow(int row)
{
    const BrowserRow* r = m_model->rowAt(row);
    if (m_busy || !r)
        return;
    const BrowserRow target = *r;
    const bool driveList = m_viewMode == 0 && m_folderDepth == 0;
    if (!driveList && row == 0 && target.name == QLatin1String("..")) {
        GoBack();
        return;
    }
    if (m_viewMode == 0) {
        if (driveList) {
            if (!QFileInfo(target.path).isDir())
                return;
            m_currentFolder = withSlash(target.path);
        } else if (target.kind == kRowFolder) {
            m_currentFolder += target.name + u'/';
        } else if (target.kind == kRowImageFile) {
            // The disk depth stays: going back returns to this folder.
            OpenImageFile(m_currentFolder + target.name + u'/');
            return;
        } else {
            if (m_openOnDouble->isChecked())
                openInShell(m_currentFolder + target.name);
            return;
        }
        ++m_folderDepth;
        ShowFolder();
        return;
    }
    if (target.kind != kRowFolder)
        return;
    if (m_viewMode == 1) {
        m_selectedImage = uint32_t(row);
        m_selectedRow = row;
        m_imageDirPath.clear();
        m_viewMode = 2;
    } else {
        m_imageDirPath += u'\\' + target.name;
        ++m_viewMode;
    }
    ShowImageDirectory();
}

void BrowserPage::GoBack()
{
    if (m_busy)
        return;
    if (m_viewMode == 0) {
        if (m_folderDepth <= 1) {
            ShowDriveList();
            return;
        }
        const QString left = m_currentFolder;
        m_currentFolder = parentFolder(m_currentFolder);
        --m_folderDepth;
        const QString name = left.mid(m_currentFolder.size()).chopped(1);
        listWith([folder = m_currentFolder, icons = m_ownIcons->isChecked()] { return ListFolder(folder, icons); },
                 [this, name] { selectRow(m_model->findRow(name)); });
        return;
    }
    if (m_viewMode == 1) {
        const QString name = imageFilePath().mid(parentFolder(m_currentFolder).size());
        m_currentFolder = parentFolder(m_currentFolder);
        m_viewMode = 0;
        listWith([folder = m_currentFolder, icons = m_ownIcons->isChecked()] { return ListFolder(folder, icons); },
                 [this, name] { selectRow(m_model->findRow(name)); });
        return;
    }
    if (m_viewMode == 2) {
        const int image = int(m_selectedImage);
        m_viewMode = 1;
        m_imageDirPath.clear();
        const QString file = imageFilePath();
        listWith([file] { return ListImages(file); }, [this, image] { selectRow(image); });
        return;
    }
    const qsizetype cut = m_imageDirPath.lastIndexOf(u'\\');
    const QString name = m_imageDirPath.mid(cut + 1);
    m_imageDirPath = m_imageDirPath.left(std::max<qsizetype>(cut, 0));
    --m_viewMode;
    relistImageDirectory([this, name] { selectRow(m_model->findRow(name)); });
}

void BrowserPage::selectRow(int row)
{
    if (!m_model->rowAt(row))
        return;
    const QModelIndex index = m_model->index(row, BrowserModel::kColName);
    m_view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_view->scrollTo(index);
}

void BrowserPage::selectionMoved(const QModelIndex& current)
{
    if (m_renameEdit->isVisible())
        CommitRename();
    const BrowserRow* row = current.isValid() ? m_model->rowAt(current.row()) : nullptr;
    if (!row)
        return;
    m_selectedRow = current.row();
    if (m_viewMode == 1)
        m_selectedImage = uint32_t(m_selectedRow);
    if (m_viewMode == 0)
        m_selectedPath = m_folderDepth == 0 ? row->path : m_currentFolder + row->name;
}

QIcon BrowserPage::themeIcon(const QString& name, int fallback)
{
    auto it = m_icons.constFind(name);
    if (it != m_icons.constEnd())
        return *it;
    QIcon icon = QIcon::fromTheme(name);
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::StandardPixmap(fallback));
    m_icons.insert(name, icon);
    return icon;
}

QVariant BrowserPage::rowIcon(const BrowserRow& row)
{
    switch (row.kind) {
    case kRowDriveOrParent:
        return row.name == QLatin1String("..") && row.path.isEmpty()
            ? themeIcon(QStringLiteral("go-up"), QStyle::SP_FileDialogToParent)
            : themeIcon(row.iconName, QStyle::SP_DriveHDIcon);
    case kRowFolder:
        return m_viewMode == 1 ? themeIcon(QStringLiteral("media-optical"), QStyle::SP_DriveCDIcon)
                               : themeIcon(QStringLiteral("folder"), QStyle::SP_DirIcon);
    case kRowImageFile:
        if (m_viewMode == 0 && m_ownIcons->isChecked() && !row.ownIcon.isNull())
            return QIcon(QPixmap::fromImage(row.ownIcon));
        return ProgramIcon();
    default:
        return themeIcon(m_model->iconNameOf(row), QStyle::SP_FileIcon);
    }
}

void BrowserPage::openInShell(const QString& path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
