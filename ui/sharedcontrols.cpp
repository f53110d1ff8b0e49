// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/sharedcontrols.h"

#include "common/inisection.h"
#include "common/language.h"
#include "ui/drawing.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>

namespace {

// The notice: one line of text cut out of a blue band, so that whatever lies
// behind shows through the letters.
class Toast : public QWidget {
public:
    Toast(QWidget* owner, const QString& text) : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_text(text)
    {
        setObjectName(QStringLiteral("toast"));
        setWindowTitle(text);
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_DeleteOnClose);
        setAttribute(Qt::WA_ShowWithoutActivating);
        QFont f = SemiBoldFont();
        f.setPointSizeF(f.pointSizeF() * 1.5);
        setFont(f);
        const int u = LayoutUnit();
        const QSize textSize = fontMetrics().size(Qt::TextSingleLine, m_text);
        resize(textSize.width() + 12 * u, textSize.height() + 8 * u);
    }
    QString text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        QColor band = BrushColor(kBrushHeading);
        band.setAlpha(232);
        p.fillRect(rect(), band);
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        p.setPen(Qt::black);
        p.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, m_text);
    }

private:
    QString m_text;
};

QString JoinLines(std::initializer_list<int> numbers)
{
    QStringList lines;
    for (int n : numbers)
        lines << (n < 0 ? QString() : GetLanguageString(n));
    return lines.join(u'\n');
}

} // namespace

int RunDialog(QDialog& dialog, const DialogRecord& record)
{
    dialog.setWindowTitle(record.title);
    dialog.setFont(record.font);
    if (!record.icon.isNull())
        dialog.setWindowIcon(record.icon);
    if (record.rectangle.isValid()) {
        dialog.resize(record.rectangle.size());
        if (!record.rectangle.topLeft().isNull())
            dialog.move(record.rectangle.topLeft());
    }
    return dialog.exec();
}

void ButtonTextHook(QMessageBox& box)
{
    for (QAbstractButton* b : box.buttons()) {
        switch (box.standardButton(b)) {
        case QMessageBox::Ok:
        case QMessageBox::Yes:
            b->setText(ConfirmButtonLabel(kButtonTextYes));
            break;
        case QMessageBox::No:
        case QMessageBox::Retry:
            b->setText(ConfirmButtonLabel(kButtonTextNo));
            break;
        case QMessageBox::Cancel:
            b->setText(ConfirmButtonLabel(kButtonTextCancel));
            break;
        default:
            break;
        }
    }
}

QMessageBox::StandardButton AskStop(QWidget* owner, QMessageBox::StandardButtons buttons)
{
    QMessageBox box(QMessageBox::Question, GetLanguageString(122), JoinLines({175, 124, 176, -1, 126}), buttons, owner);
    return QMessageBox::StandardButton(box.exec());
}

QMessageBox::StandardButton AskStopThreeWay(QWidget* owner)
{
    QMessageBox box(QMessageBox::Question, GetLanguageString(122), JoinLines({177, 124, 176, -1, 287, 288, 289}),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, owner);
    ButtonTextHook(box);
    return QMessageBox::StandardButton(box.exec());
}

QWidget* ShowToast(QWidget* owner, const QString& text, int milliseconds)
{
    auto* toast = new Toast(owner, text);
    QRect area;
    if (owner)
        area = owner->window()->frameGeometry();
    else if (QScreen* s = QGuiApplication::primaryScreen())
        area = s->availableGeometry();
    QRect r(QPoint(), toast->size());
    r.moveCenter(area.center());
    toast->move(r.topLeft());
    toast->show();
    QTimer::singleShot(std::max(0, milliseconds), toast, &QWidget::close);
    return toast;
}

bool SetFieldFromDrop(QLineEdit* field, const QString& file, const QStringList& extensions)
{
    const qsizetype dot = file.lastIndexOf(u'.');
    if (!field || dot < 0)
        return false;
    const QString ext = file.mid(dot + 1);
    for (const QString& e : extensions) {
        if (ext.compare(e, Qt::CaseInsensitive) == 0) {
            field->setText(file);
            return true;
        }
    }
    return false;
}

int ReadNumber(const QString& text)
{
    return IniKeyNumber(QStringView(text).left(127));
}

int ReadNumber(const QLineEdit* field)
{
    return field ? ReadNumber(field->text()) : 0;
}

void SetSpinRange(QSpinBox* spin, int low, int high, QLineEdit* buddy)
{
    if (!spin)
        return;
    spin->setRange(low, high);
    if (buddy)
        buddy->setText(QString::number(spin->value()));
}

void SetSpinPosition(QSpinBox* spin, int position, QLineEdit* buddy)
{
    if (!spin)
        return;
    spin->setValue(position);
    if (buddy)
        buddy->setText(QString::number(spin->value()));
}

int FindComboText(const QComboBox* combo, const QString& text)
{
    if (!combo)
        return -1;
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i) == text)
            return i;
    }
    return -1;
}

void FillTextBox(QPlainTextEdit* box, const QStringList& lines)
{
    if (!box)
        return;
    QString text;
    for (const QString& line : lines)
        text += line + u'\n';
    box->setPlainText(text);
    box->moveCursor(QTextCursor::Start);
    box->verticalScrollBar()->setValue(0);
}
