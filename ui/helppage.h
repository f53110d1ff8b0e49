// SPDX-License-Identifier: GPL-3.0-or-later
// Tab 8: the user manual in the interface's language, under an about band
// with the program's pictures, its animation and two credit lines. A thin
// strip between them hides or shows the band. The page stretches with the
// window.
#pragma once

#include "ui/pageframework.h"

#include <QByteArray>
#include <QImage>

class QBuffer;
class QLabel;
class QMenu;
class QMovie;
class QTextBrowser;

// A box that draws its picture stretched over itself.
class PictureBox : public QWidget {
public:
    PictureBox(const QImage& image, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
};

// The strip between the band and the manual: a triangle pointing up while
// the band shows, down while it is hidden. A click toggles.
class ToggleStrip : public QWidget {
    Q_OBJECT
public:
    explicit ToggleStrip(QWidget* parent);
    void setBandShown(bool shown);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_bandShown = true;
};

class HelpPage : public KestrelPage {
    Q_OBJECT
public:
    explicit HelpPage(QWidget* parent = nullptr);
    ~HelpPage() override;

    void retext() override;

    // Fills the help box with Languages/<language>.html beside the program,
    // or the carried manual when there is no such file or it cannot be read,
    // and sets the credit line.
    void LoadHelpDocument();
    // Hides or shows the about band.
    void ToggleAboutBand();
    bool bandShown() const { return m_bandShown; }

    // The help box's context menu for its current selection: "copy" (268,
    // greyed without a selection) and "select all" (269, greyed when all is
    // selected already). The caller owns it.
    QMenu* createHelpMenu();

    QTextBrowser* helpBox() const { return m_helpBox; }
    QMovie* animation() const { return m_movie; }
    QWidget* band() const { return m_band; }
    ToggleStrip* toggleStrip() const { return m_strip; }

    // The English caption under the credit line.
    static QString CaptionText();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    void layoutBand();
    void showHelpMenu(const QPoint& pos);

    bool m_bandShown = true;
    QWidget* m_band = nullptr;
    QLabel* m_animationBox = nullptr;
    PictureBox* m_picture = nullptr;
    PictureBox* m_banner = nullptr;
    QLabel* m_credit = nullptr;
    QLabel* m_caption = nullptr;
    ToggleStrip* m_strip = nullptr;
    QTextBrowser* m_helpBox = nullptr;
    QByteArray m_animationBytes;
    QBuffer* m_animationStream = nullptr;
    QMovie* m_movie = nullptr;
};
