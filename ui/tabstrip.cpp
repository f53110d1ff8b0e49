// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/tabstrip.h"

#include "ui/drawing.h"

#include <QPainter>

TabStrip::TabStrip(QWidget* parent) : QTabBar(parent)
{
    setObjectName(QStringLiteral("tabStrip"));
    setDrawBase(true);
    setExpanding(false);
    setUsesScrollButtons(false);
}

void TabStrip::paintEvent(QPaintEvent* event)
{
    QTabBar::paintEvent(event);
    const int current = currentIndex();
    if (current < 0)
        return;
    QPainter p(this);
    const QRect r = tabRect(current).adjusted(1, 1, -1, 0);
    p.fillRect(r, BrushColor(kBrushHeading));
    p.setPen(BrushColor(kBrushWhite));
    p.setFont(font());
    p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, tabText(current).replace(QStringLiteral("&&"), QStringLiteral("&")));
}
