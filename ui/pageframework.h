// SPDX-License-Identifier: GPL-3.0-or-later
// The page framework of the main window: the nine page records (TABPAGES),
// the base class every page widget derives from, and the registry through
// which the pages library hands its widgets to the window.
//
// How a page plugs in
// -------------------
// 1. Derive from KestrelPage and pass the page number (kPageMount ... kPageHelp)
//    to its constructor. Build the controls in the constructor, put
//    messageBox() wherever the page wants its help and log area (a placeholder
//    page lets it fill the whole page), and call retext() at the end of the
//    constructor so that all texts are set.
// 2. Override retext() to set every text from GetLanguageString(); call
//    KestrelPage::retext() from it (it shows the page's help text in the
//    message box). The window calls retext() on every page, in page order,
//    after a language switch.
// 3. Override dropFile(path, pos) to take dropped files: the base class accepts
//    drops of local files ("text/uri-list") anywhere on the page and hands over
//    the first one with the drop point in page coordinates; the page decides
//    by the point which field receives it (SetFieldFromDrop helps). Child
//    widgets do not take drops themselves: the window calls routeDropsToPage()
//    after creating the page (call it again if the page adds widgets later).
// 4. Override setImageFile() and setDirectory() if the page has an image-file
//    field (pages 0, 2, 3, 5) or a folder field (pages 0 and 1): the window
//    fills them from "/Page path,N" and from a file opened from the file
//    manager.
// 5. Around a long operation call lockPage() on the GUI thread, then enable
//    the page's stop button; call unlockPage() on the GUI thread when the
//    operation ends (workers post that back, they never call it themselves).
//    While a page is locked the tab strip, the language box, the stay-on-top
//    box and closing the window are disabled; every locked control gets back
//    the state it had before, so a button disabled before stays disabled.
// 6. Register the widget's factory before the window is built, from the pages
//    library's init function that the program's main() calls before
//    RunMainWindow():
//        RegisterPageFactory(kPageMount, [](QWidget* parent) {
//            return new MountPage(parent);
//        });
//    Pages without a factory are shown as a KestrelPage that holds only its
//    help text.
// 7. pageShown() / pageHidden() are called when the tab switches to or away
//    from the page. Pages 4 and 8 are stretched with the window (it becomes
//    resizable and maximisable while they show) and lay out their controls
//    with Qt layouts; the other pages have the fixed page size pageSize().
#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

class QPlainTextEdit;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;

enum PageIndex : int {
    kPageMount = 0,     // mount and apply
    kPageCapture = 1,   // capture and append
    kPageExport = 2,    // export, split, optimise
    kPageInfo = 3,      // delete image and information
    kPageBrowser = 4,   // image browser (resizable)
    kPageShellExec = 5, // per-image mount settings
    kPageIcon = 6,      // image icon
    kPageSettings = 7,  // registration and settings
    kPageHelp = 8,      // help and about (resizable)
};
inline constexpr int kPageCount = 9;

// Whether a page stretches with the window instead of keeping the fixed size.
bool IsResizablePage(int index);

// The number k of the [Help_Text k] section a page shows, or 0 for none. The
// texts follow the pages' content: 1 to 4 for pages 0 to 3, 5 to 7 for pages
// 5 to 7; the image browser and the help page have none, and text 8 belongs
// to the shell extension dialog of the settings page.
int HelpTextNumber(int index);

// Remembers the enabled state of a page's controls while an operation runs.
// Labels and the page's message box are left alone (the log stays
// scrollable); the frame controls are disabled and enabled again as a whole.
class PageLock {
public:
    void lock(QWidget* page, const QList<QWidget*>& frameControls, QWidget* keepEnabled = nullptr);
    void unlock();
    bool isLocked() const { return m_locked; }

private:
    struct Saved {
        QPointer<QWidget> widget;
        bool enabled;
    };
    void collect(QWidget* parent, QWidget* keepEnabled);
    QList<Saved> m_controls;
    QList<QPointer<QWidget>> m_frame;
    bool m_locked = false;
};

class KestrelPage : public QWidget {
    Q_OBJECT
public:
    explicit KestrelPage(int pageNumber, QWidget* parent = nullptr);
    ~KestrelPage() override;

    int pageNumber() const { return m_pageNumber; }

    // The page's read-only message area for help text and step logs. Created
    // by the base class as a child of the page; the page places it.
    QPlainTextEdit* messageBox() const { return m_messageBox; }
    // Appends to the log in the message box as the text stands (a step, then
    // its outcome on the same line; CR LF becomes a line break) and keeps the
    // last line in view.
    void appendToLog(const QString& text);
    void scrollLogToEnd();

    // Sets every text of the page; the base shows the help text.
    virtual void retext();

    // Fill-ins from the command line; the base ignores them.
    virtual void setImageFile(const QString& path);
    virtual void setDirectory(const QString& path);

    // Tab switching notices; the base does nothing.
    virtual void pageShown();
    virtual void pageHidden();

    // Replaces the message box text with the page's help text
    // (TabPages()[pageNumber()].helpText).
    void showHelpText();

    void lockPage();
    void unlockPage();
    bool isLocked() const { return m_lock.isLocked(); }

    // The frame controls lockPage() disables; set by the main window.
    void setFrameControls(const QList<QWidget*>& controls) { m_frameControls = controls; }

    // Makes every descendant leave drops to the page.
    void routeDropsToPage();

    // The fixed size of a page (from the layout unit).
    static QSize pageSize();

signals:
    void lockChanged(bool locked);

protected:
    // The first local file of a drop, with the drop point in page coordinates.
    virtual void dropFile(const QString& path, const QPoint& pos);

    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    int m_pageNumber;
    QPlainTextEdit* m_messageBox;
    PageLock m_lock;
    QList<QWidget*> m_frameControls;
};

// The page lock under its usual names: page->lockPage() / unlockPage().
void LockPage(KestrelPage* page);
void UnlockPage(KestrelPage* page);

// One record of the page table.
struct TabPageRecord {
    KestrelPage* window = nullptr; // the page widget, set when the window is built
    QWidget* parent = nullptr;     // the main window
    QRect rectangle;               // placement inside the page area
    QString title;                 // the tab caption (language string n)
    QString className;             // "Panel0" .. "Panel8", the page's object name
    QFont font;
    QColor background;             // brush 6, the help page brush 5
    int pageNumber = 0;
    QStringList helpText;          // [Help_Text HelpTextNumber(n)], possibly empty
};

// The process's page table, in tab order.
class TABPAGES {
public:
    TABPAGES();
    TabPageRecord& operator[](int index) { return m_pages[index]; }
    const TabPageRecord& operator[](int index) const { return m_pages[index]; }
    int count() const { return kPageCount; }

private:
    TabPageRecord m_pages[kPageCount];
};
TABPAGES& TabPages();

// Factories of the page widgets. A factory registered for an index replaces
// an earlier one; an empty function removes it.
using PageFactory = std::function<KestrelPage*(QWidget* parent)>;
void RegisterPageFactory(int index, PageFactory factory);
PageFactory PageFactoryFor(int index);
