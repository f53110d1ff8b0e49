// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/mainwindow.h"

#include "common/language.h"
#include "ui/drawing.h"
#include "ui/languagewidgets.h"
#include "ui/qttranslation.h"
#include "ui/mountnotice.h"
#include "ui/pageframework.h"
#include "ui/sharedcontrols.h"
#include "ui/tabstrip.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStackedWidget>
#include <QVBoxLayout>

MainWindow::MainWindow(const RunMode& mode, const CommandLine& cmd, const ImageNameLookup& lookup)
{
    InitDrawingResources();
    setObjectName(QStringLiteral("Kestrel"));
    setWindowIcon(ProgramIcon());
    setFont(MainFont());
    SetBrushColour(this, QPalette::Window, kBrushBackground);

    const int u = LayoutUnit();
    m_tabs = new TabStrip(this);
    m_languageBox = new QComboBox(this);
    m_languageBox->setObjectName(QStringLiteral("languageBox"));
    m_languageBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_stayOnTop = new QCheckBox(this);
    m_stayOnTop->setObjectName(QStringLiteral("stayOnTop"));
    m_stack = new QStackedWidget(this);
    for (int i = 0; i < kPageCount; ++i)
        m_tabs->addTab(QString());

    auto* strip = new QHBoxLayout;
    m_stripLayout = strip;
    strip->setContentsMargins(0, 0, 0, 0);
    strip->setSpacing(u);
    strip->addWidget(m_tabs, 1, Qt::AlignBottom);
    strip->addWidget(m_languageBox, 0, Qt::AlignVCenter);
    strip->addWidget(m_stayOnTop, 0, Qt::AlignVCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(u / 4 + 1, u / 4 + 1, u / 4 + 1, u / 4 + 1);
    layout->setSpacing(0);
    layout->addLayout(strip);
    layout->addWidget(m_stack, 1);

    buildPages();
    FillLanguageList(m_languageBox);
    m_lastLanguageIndex = m_languageBox->currentIndex();
    retextFrame();
    for (int i = 0; i < kPageCount; ++i)
        page(i)->retext();
    fitPagesToTexts();

    connect(m_languageBox, &QComboBox::currentIndexChanged, this, &MainWindow::languageChosen);
    connect(m_stayOnTop, &QCheckBox::toggled, this, &MainWindow::setStayOnTop);
    connect(m_tabs, &QTabBar::currentChanged, this, &MainWindow::showPage);

    // The pages' area is fixed by the layout unit (a page whose controls need
    // more raises it); the strip row decides the width when it is wider.
    m_fixedSize = minimumSizeHint();
    setFixedSize(m_fixedSize);
    centreAt(m_fixedSize);

    const PageRequest request = ChooseFirstPage(mode, cmd, lookup);
    if (!request.path.isEmpty()) {
        const QFileInfo info(request.path);
        if (info.isFile()) {
            for (int p : {kPageMount, kPageExport, kPageInfo, kPageShellExec})
                page(p)->setImageFile(request.path);
        } else if (info.isDir()) {
            for (int p : {kPageMount, kPageCapture})
                page(p)->setDirectory(request.path);
        }
    }
    showPage(request.page);
}

MainWindow::~MainWindow()
{
    for (int i = 0; i < kPageCount; ++i) {
        if (TabPages()[i].parent == this) {
            TabPages()[i].window = nullptr;
            TabPages()[i].parent = nullptr;
        }
    }
}

void MainWindow::buildPages()
{
    const QSize size = KestrelPage::pageSize();
    const QList<QWidget*> frame = {m_tabs, m_languageBox, m_stayOnTop};
    for (int i = 0; i < kPageCount; ++i) {
        TabPageRecord& record = TabPages()[i];
        record.parent = this;
        record.font = MainFont();
        record.rectangle = QRect(QPoint(0, 0), size);
        record.title = GetLanguageString(i);
        record.helpText = HelpText(HelpTextNumber(i));
        KestrelPage* p = nullptr;
        if (const PageFactory factory = PageFactoryFor(i))
            p = factory(m_stack);
        if (!p) {
            // Not built yet: the page holds its help text only.
            p = new KestrelPage(i, m_stack);
            auto* fill = new QVBoxLayout(p);
            fill->setContentsMargins(LayoutUnit(), LayoutUnit(), LayoutUnit(), LayoutUnit());
            fill->addWidget(p->messageBox());
        }
        p->setObjectName(record.className);
        p->setMinimumSize(size);
        p->setFrameControls(frame);
        p->routeDropsToPage();
        record.window = p;
        m_stack->addWidget(p);
    }
}

void MainWindow::fitPagesToTexts()
{
    // A page is at least the page size, and larger where its layout needs
    // more room for the texts of the language: an explicit minimum size
    // would otherwise hide the layout's own from the window.
    for (int i = 0; i < kPageCount; ++i) {
        KestrelPage* p = page(i);
        if (!p)
            continue;
        QSize least = KestrelPage::pageSize();
        if (QLayout* own = p->layout()) {
            own->invalidate();
            least = least.expandedTo(own->minimumSize());
        }
        p->setMinimumSize(least);
    }
}

KestrelPage* MainWindow::page(int index) const
{
    return qobject_cast<KestrelPage*>(m_stack->widget(index));
}

void MainWindow::retextFrame()
{
    for (int i = 0; i < kPageCount; ++i) {
        TabPages()[i].title = GetLanguageString(i);
        TabPages()[i].helpText = HelpText(HelpTextNumber(i));
        // Captions are plain text: "&" is no shortcut marker here.
        m_tabs->setTabText(i, QString(TabPages()[i].title).replace(u'&', QStringLiteral("&&")));
    }
    m_stayOnTop->setText(GetLanguageString(307).replace(u'&', QStringLiteral("&&")));
    setWindowTitle(ProgramTitle());
}

void MainWindow::retextAll()
{
    retextFrame();
    for (int i = 0; i < kPageCount; ++i)
        page(i)->retext();
    fitPagesToTexts();
    m_stayOnTop->update();
    m_languageBox->update();
    m_tabs->update();
}

void MainWindow::languageChosen(int index)
{
    if (index < 0 || index == m_lastLanguageIndex)
        return;
    m_lastLanguageIndex = index;
    SwitchLanguage(m_languageBox->itemData(index).toString());
    InstallQtTranslation();
    retextAll();
    // Other captions need another width; the fixed size follows them.
    // The strip row's cached sizes would give the old width.
    m_stripLayout->invalidate();
    layout()->invalidate();
    m_fixedSize = minimumSizeHint();
    if (IsResizablePage(m_current)) {
        setMinimumSize(m_fixedSize);
    } else if (size() != m_fixedSize) {
        setFixedSize(m_fixedSize);
        centreAt(m_fixedSize);
    }
}

void MainWindow::showPage(int index)
{
    index = std::clamp(index, 0, kPageCount - 1);
    const int previous = m_current;
    if (previous == index && m_stack->currentIndex() == index)
        return;
    if (previous >= 0)
        page(previous)->pageHidden();
    m_current = index;
    {
        const QSignalBlocker block(m_tabs);
        m_tabs->setCurrentIndex(index);
    }
    m_stack->setCurrentIndex(index);

    if (IsResizablePage(index)) {
        setMinimumSize(m_fixedSize);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
        if (previous >= 0 && IsResizablePage(previous) && (isMaximized() || isFullScreen()))
            showNormal();
        const bool resized = size() != m_fixedSize;
        setFixedSize(m_fixedSize);
        if (resized)
            centreAt(m_fixedSize);
    }
    page(index)->pageShown();
}

void MainWindow::centreAt(const QSize& size)
{
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect r(QPoint(), size);
    r.moveCenter(screen->availableGeometry().center());
    move(r.topLeft());
}

void MainWindow::setStayOnTop(bool on)
{
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    // Changing the flags hides a top-level window.
    if (visible)
        show();
}

bool MainWindow::anyPageLocked() const
{
    for (int i = 0; i < kPageCount; ++i) {
        if (page(i) && page(i)->isLocked())
            return true;
    }
    return false;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // An operation is running: closing now would abandon its files.
    if (anyPageLocked()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

QWidget* MainWindow::showMountNotice(bool mountingAvailable)
{
    if (mountingAvailable)
        return nullptr;
    return ShowToast(this, GetLanguageString(344), 3000);
}

namespace {

int WriteScreenshots(MainWindow& window, const QString& folder)
{
    QDir().mkpath(folder);
    int failures = 0;
    for (int i = 0; i < kPageCount; ++i) {
        window.showPage(i);
        QApplication::processEvents();
        if (!window.grab().save(QDir(folder).filePath(QStringLiteral("page%1.png").arg(i))))
            ++failures;
    }
    return failures == 0 ? 0 : 1;
}

} // namespace

int RunMainWindow(int& argc, char** argv, RunMode mode)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrel"));
    QApplication::setWindowIcon(ProgramIcon());
    InstallQtTranslation();
    InitDrawingResources();
    MainWindow window(mode, GetCommandLine());
    window.show();
    const QString shots = qEnvironmentVariable("KESTREL_SCREENSHOT_DIR");
    if (!shots.isEmpty())
        return WriteScreenshots(window, shots);
    window.showMountNotice(MountingAvailable());
    QApplication::exec();
    // The process's exit code is always 0.
    return 0;
}
