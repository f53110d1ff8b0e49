// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/commandline.h"
#include "ui/pagerequest.h"

#include <QSize>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QStackedWidget;
class KestrelPage;
class TabStrip;

// Opens the main window with the page chosen by `mode` and runs the message
// loop; returns the exit code. With KESTREL_SCREENSHOT_DIR set in the
// environment it writes a picture of every page there (page0.png ...
// page8.png) and returns instead of running the loop.
int RunMainWindow(int& argc, char** argv, RunMode mode);

// The main window: the tab strip with the language box and the stay-on-top
// box at its right end, and the nine pages below it. The pages come from the
// registered factories (pageframework.h); those without one show their help
// text. Needs a QApplication.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    MainWindow(const RunMode& mode, const CommandLine& cmd, const ImageNameLookup& lookup = {});
    ~MainWindow() override;

    int currentPage() const { return m_current; }
    // Switches to page `index` as a tab click does.
    void showPage(int index);

    KestrelPage* page(int index) const;
    TabStrip* tabStrip() const { return m_tabs; }
    QComboBox* languageBox() const { return m_languageBox; }
    QCheckBox* stayOnTopBox() const { return m_stayOnTop; }
    QSize fixedSize() const { return m_fixedSize; }

    // Sets the texts of the frame and then of every page, in page order.
    void retextAll();
    // Each page's minimum size: the page size, raised to what its layout
    // needs for the current texts.
    void fitPagesToTexts();
    // The notice of language string 344 when mounting is not available;
    // returns the notice, or nullptr when none is shown.
    QWidget* showMountNotice(bool mountingAvailable);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildPages();
    void retextFrame();
    void languageChosen(int index);
    void setStayOnTop(bool on);
    void centreAt(const QSize& size);
    bool anyPageLocked() const;

    TabStrip* m_tabs = nullptr;
    QComboBox* m_languageBox = nullptr;
    QCheckBox* m_stayOnTop = nullptr;
    QStackedWidget* m_stack = nullptr;
    QHBoxLayout* m_stripLayout = nullptr;
    QSize m_fixedSize;
    int m_current = -1;
    int m_lastLanguageIndex = -1;
};
