// SPDX-License-Identifier: GPL-3.0-or-later
// The image browser's list view: a plain table view that tells the page when
// a drag of rows begins, when the list scrolls or changes size, and about
// the keys that open, go back and rename.
#pragma once

#include <QTableView>

class BrowserPageView : public QTableView {
    Q_OBJECT
public:
    explicit BrowserPageView(QWidget* parent = nullptr);

signals:
    void dragRequested(int row);
    void scrolled();
    void resized();
    void openKey();
    void backKey();
    void renameKey();

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
