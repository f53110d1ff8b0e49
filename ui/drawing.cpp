// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/drawing.h"

#include "metadata/programicons.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QWidget>

#include <algorithm>
#include <array>

namespace {

constexpr std::array<QRgb, kBrushCount> kColours = {
    qRgb(200, 8, 0),     qRgb(255, 32, 40),   qRgb(128, 32, 240),  qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 255, 255), qRgb(244, 244, 244), qRgb(228, 228, 228),
    qRgb(160, 160, 160), qRgb(100, 100, 100), qRgb(0, 0, 0),       qRgb(228, 255, 228),
    qRgb(176, 255, 160), qRgb(160, 160, 255),
};

struct Resources {
    bool ready = false;
    QFont main;
    QFont semiBold;
    QFont tahoma;
    int unit = 1;
};

Resources& State()
{
    static Resources r;
    return r;
}

bool HasFamily(const QStringList& families, const QString& name)
{
    return std::any_of(families.begin(), families.end(),
                       [&](const QString& f) { return f.compare(name, Qt::CaseInsensitive) == 0; });
}

} // namespace

QColor BrushColor(int index)
{
    if (index < 0 || index >= kBrushCount)
        return QColor(0, 0, 0);
    return QColor(kColours[size_t(index)]);
}

void SetBrushColour(QWidget* widget, QPalette::ColorRole role, int index)
{
    if (!widget)
        return;
    QPalette pal = widget->palette();
    pal.setColor(role, BrushColor(index));
    widget->setPalette(pal);
    if (role == QPalette::Window)
        widget->setAutoFillBackground(true);
}

void InitDrawingResources()
{
    Resources& r = State();
    if (r.ready)
        return;
    const QFont gui = QApplication::font();
    const QStringList families = QFontDatabase::families();
    r.main = gui;
    for (const char* face : {"Consolas", "Courier New", "Cascadia Code", "Lucida Console"}) {
        if (HasFamily(families, QString::fromLatin1(face))) {
            r.main.setFamilies({QString::fromLatin1(face)});
            break;
        }
    }
    r.tahoma = r.main;
    if (HasFamily(families, QStringLiteral("Tahoma"))) {
        r.tahoma = gui;
        r.tahoma.setFamilies({QStringLiteral("Tahoma")});
    }
    r.semiBold = r.main;
    r.semiBold.setWeight(QFont::DemiBold);
    const QFontMetrics fm(r.main);
    r.unit = std::max(1, fm.size(Qt::TextSingleLine, QStringLiteral("O")).height() / 3);
    r.ready = true;
}

const QFont& MainFont()
{
    InitDrawingResources();
    return State().main;
}

const QFont& SemiBoldFont()
{
    InitDrawingResources();
    return State().semiBold;
}

const QFont& TahomaFont()
{
    InitDrawingResources();
    return State().tahoma;
}

int LayoutUnit()
{
    InitDrawingResources();
    return State().unit;
}

QIcon ProgramIcon()
{
    static const QIcon icon = [] {
        QIcon i;
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            i.addPixmap(QPixmap::fromImage(DrawProgramIcon(size)));
        return i;
    }();
    return icon;
}
