// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pageframework.h"

#include "ui/drawing.h"

#include <QAbstractScrollArea>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QUrl>

#include <array>

namespace {

std::array<PageFactory, kPageCount>& Factories()
{
    static std::array<PageFactory, kPageCount> factories;
    return factories;
}

// Widgets that only hold other controls: the lock walks into them instead of
// disabling them, so that their children keep states of their own.
bool IsContainer(const QWidget* w)
{
    const QMetaObject* mo = w->metaObject();
    return mo == &QWidget::staticMetaObject || mo == &QFrame::staticMetaObject
           || qobject_cast<const QGroupBox*>(w) || qobject_cast<const QStackedWidget*>(w)
           || qobject_cast<const QSplitter*>(w);
}

QString FirstLocalFile(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls())
        return QString();
    const QList<QUrl> urls = mime->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return QString();
    return urls.first().toLocalFile();
}

} // namespace

bool IsResizablePage(int index)
{
    return index == kPageBrowser || index == kPageHelp;
}

int HelpTextNumber(int index)
{
    if (index < 0 || index >= kPageCount || index == kPageBrowser || index == kPageHelp)
        return 0;
    return index < kPageBrowser ? index + 1 : index;
}

void PageLock::collect(QWidget* parent, QWidget* keepEnabled)
{
    for (QObject* o : parent->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w->isWindow() || w == keepEnabled || qobject_cast<QLabel*>(w))
            continue;
        if (IsContainer(w)) {
            collect(w, keepEnabled);
            continue;
        }
        // WA_Disabled is the widget's own state, whatever its parents are.
        m_controls.append({w, !w->testAttribute(Qt::WA_Disabled)});
        w->setEnabled(false);
    }
}

void PageLock::lock(QWidget* page, const QList<QWidget*>& frameControls, QWidget* keepEnabled)
{
    if (m_locked || !page)
        return;
    m_controls.clear();
    m_frame.clear();
    collect(page, keepEnabled);
    for (QWidget* w : frameControls) {
        if (w) {
            m_frame.append(w);
            w->setEnabled(false);
        }
    }
    m_locked = true;
}

void PageLock::unlock()
{
    if (!m_locked)
        return;
    for (const Saved& s : m_controls) {
        if (s.widget)
            s.widget->setEnabled(s.enabled);
    }
    for (const QPointer<QWidget>& w : m_frame) {
        if (w)
            w->setEnabled(true);
    }
    m_controls.clear();
    m_frame.clear();
    m_locked = false;
}

KestrelPage::KestrelPage(int pageNumber, QWidget* parent)
    : QWidget(parent), m_pageNumber(pageNumber), m_messageBox(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("Panel%1").arg(pageNumber));
    setAcceptDrops(true);
    SetBrushColour(this, QPalette::Window, pageNumber == kPageHelp ? kBrushWhite : kBrushBackground);
    m_messageBox->setObjectName(QStringLiteral("messageBox"));
    m_messageBox->setReadOnly(true);
    m_messageBox->setFont(MainFont());
    m_messageBox->setAcceptDrops(false);
    SetBrushColour(m_messageBox, QPalette::Base, kBrushWhite);
    SetBrushColour(m_messageBox, QPalette::Text, kBrushBlack);
}

KestrelPage::~KestrelPage() = default;

void KestrelPage::retext()
{
    showHelpText();
}

void KestrelPage::setImageFile(const QString&) {}
void KestrelPage::setDirectory(const QString&) {}
void KestrelPage::pageShown() {}
void KestrelPage::pageHidden() {}
void KestrelPage::dropFile(const QString&, const QPoint&) {}

void KestrelPage::showHelpText()
{
    m_messageBox->setPlainText(TabPages()[m_pageNumber].helpText.join(u'\n'));
    m_messageBox->moveCursor(QTextCursor::Start);
}

void KestrelPage::lockPage()
{
    if (m_lock.isLocked())
        return;
    m_lock.lock(this, m_frameControls, m_messageBox);
    emit lockChanged(true);
}

void KestrelPage::unlockPage()
{
    if (!m_lock.isLocked())
        return;
    m_lock.unlock();
    emit lockChanged(false);
}

void LockPage(KestrelPage* page)
{
    if (page)
        page->lockPage();
}

void UnlockPage(KestrelPage* page)
{
    if (page)
        page->unlockPage();
}

void KestrelPage::routeDropsToPage()
{
    for (QWidget* w : findChildren<QWidget*>())
        w->setAcceptDrops(false);
    setAcceptDrops(true);
}

QSize KestrelPage::pageSize()
{
    const int u = LayoutUnit();
    return QSize(228 * u, 112 * u);
}

void KestrelPage::dragEnterEvent(QDragEnterEvent* event)
{
    if (!FirstLocalFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void KestrelPage::dragMoveEvent(QDragMoveEvent* event)
{
    if (!FirstLocalFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void KestrelPage::dropEvent(QDropEvent* event)
{
    const QString path = FirstLocalFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    dropFile(path, event->position().toPoint());
}

TABPAGES::TABPAGES()
{
    for (int i = 0; i < kPageCount; ++i) {
        m_pages[i].pageNumber = i;
        m_pages[i].className = QStringLiteral("Panel%1").arg(i);
        m_pages[i].background = BrushColor(i == kPageHelp ? kBrushWhite : kBrushBackground);
    }
}

TABPAGES& TabPages()
{
    static TABPAGES table;
    return table;
}

void RegisterPageFactory(int index, PageFactory factory)
{
    if (index >= 0 && index < kPageCount)
        Factories()[size_t(index)] = std::move(factory);
}

PageFactory PageFactoryFor(int index)
{
    if (index < 0 || index >= kPageCount)
        return {};
    return Factories()[size_t(index)];
}

void KestrelPage::appendToLog(const QString& text)
{
    QTextCursor cursor(m_messageBox->document());
    cursor.movePosition(QTextCursor::End);
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    cursor.insertText(plain);
    scrollLogToEnd();
}

void KestrelPage::scrollLogToEnd()
{
    m_messageBox->moveCursor(QTextCursor::End);
    m_messageBox->verticalScrollBar()->setValue(m_messageBox->verticalScrollBar()->maximum());
}
