// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's tab strip: the current tab is painted in the heading
// colour with its caption in white.
#pragma once

#include <QTabBar>

class TabStrip : public QTabBar {
    Q_OBJECT
public:
    explicit TabStrip(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
