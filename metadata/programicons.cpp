// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata/programicons.h"

#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kBlue(0, 0, 255);
const QColor kYellow(255, 255, 0);

// The disc and the wing of the program's mark, inside `box`.
void drawMark(QPainter& p, const QRectF& box)
{
    const qreal s = box.width();
    const qreal x = box.x();
    const qreal y = box.y();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255));
    p.drawEllipse(QPointF(x + s * 0.5, y + s * 0.56), s * 0.30, s * 0.30);
    p.setBrush(kBlue);
    p.drawEllipse(QPointF(x + s * 0.5, y + s * 0.56), s * 0.07, s * 0.07);
    QPainterPath wing;
    wing.moveTo(x + s * 0.14, y + s * 0.34);
    wing.quadTo(x + s * 0.52, y + s * 0.06, x + s * 0.88, y + s * 0.18);
    wing.quadTo(x + s * 0.56, y + s * 0.24, x + s * 0.40, y + s * 0.42);
    wing.closeSubpath();
    p.setBrush(kYellow);
    p.drawPath(wing);
}

QImage blank(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

} // namespace

QImage DrawProgramIcon(int size)
{
    QImage image = blank(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // A blue tile holding a disc (the image file) and a bird's wing over it.
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92), s * 0.18, s * 0.18);
    drawMark(p, QRectF(0, 0, s, s));
    return image;
}

QImage DrawImageFileIcon(int size)
{
    QImage image = blank(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // A sheet with a folded corner, the program's mark on a blue band.
    const qreal left = s * 0.14;
    const qreal right = s * 0.86;
    const qreal top = s * 0.04;
    const qreal bottom = s * 0.96;
    const qreal fold = s * 0.22;
    QPainterPath sheet;
    sheet.moveTo(left, top);
    sheet.lineTo(right - fold, top);
    sheet.lineTo(right, top + fold);
    sheet.lineTo(right, bottom);
    sheet.lineTo(left, bottom);
    sheet.closeSubpath();
    p.setPen(QPen(QColor(100, 100, 100), qMax(1.0, s / 48)));
    p.setBrush(QColor(244, 244, 244));
    p.drawPath(sheet);
    QPainterPath corner;
    corner.moveTo(right - fold, top);
    corner.lineTo(right - fold, top + fold);
    corner.lineTo(right, top + fold);
    corner.closeSubpath();
    p.setBrush(QColor(200, 200, 200));
    p.drawPath(corner);
    const qreal band = (right - left) * 0.84;
    const QRectF mark((s - band) / 2, s * 0.34, band, band);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawRoundedRect(mark, band * 0.16, band * 0.16);
    drawMark(p, mark);
    return image;
}
