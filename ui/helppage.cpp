// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/helppage.h"

#include "common/language.h"
#include "common/settings.h"
#include "imaging/resources.h"
#include "ui/drawing.h"

#include <QAction>
#include <QBuffer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QMovie>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

// No manual is anywhere near this large; a bigger file is not one.
constexpr qint64 kMaxHelpBytes = 16 * 1024 * 1024;

constexpr int kBannerWidth = 296;
constexpr int kBannerHeight = 32;

QImage CarriedImage(CarriedResource which)
{
    const QByteArray bytes = UnpackCarriedResource(which);
    QImage image;
    image.loadFromData(bytes);
    return image;
}

QByteArray ReadHelpFile(const QString& path)
{
    if (path.isEmpty())
        return QByteArray();
    QFile file(path);
    if (file.size() > kMaxHelpBytes || !file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace

PictureBox::PictureBox(const QImage& image, QWidget* parent) : QWidget(parent), m_image(image) {}

void PictureBox::paintEvent(QPaintEvent*)
{
    if (m_image.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_image);
}

ToggleStrip::ToggleStrip(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
    SetBrushColour(this, QPalette::Window, kBrushGrey);
}

void ToggleStrip::setBandShown(bool shown)
{
    m_bandShown = shown;
    update();
}

void ToggleStrip::paintEvent(QPaintEvent*)
{
    // A filled triangle three layout units wide, its apex towards where the
    // band goes when the strip is clicked.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int u = LayoutUnit();
    const qreal cx = width() / 2.0;
    const qreal half = 1.5 * u;
    const qreal h = std::max(2.0, height() - 2.0);
    const qreal top = (height() - h) / 2.0;
    QPolygonF triangle;
    if (m_bandShown)
        triangle << QPointF(cx, top) << QPointF(cx - half, top + h) << QPointF(cx + half, top + h);
    else
        triangle << QPointF(cx, top + h) << QPointF(cx - half, top) << QPointF(cx + half, top);
    painter.setPen(Qt::NoPen);
    painter.setBrush(BrushColor(kBrushBlack));
    painter.drawPolygon(triangle);
}

void ToggleStrip::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

HelpPage::HelpPage(QWidget* parent) : KestrelPage(kPageHelp, parent)
{
    // The manual takes the place of the message box every page has.
    messageBox()->hide();
    buildControls();
    retext();
}

HelpPage::~HelpPage()
{
    if (m_movie)
        m_movie->stop();
}

QString HelpPage::CaptionText()
{
    return QStringLiteral("Mount, apply, capture, export and edit Windows imaging files (WIM, SWM, ESD)");
}

void HelpPage::buildControls()
{
    const int u = LayoutUnit();
    m_strip = new ToggleStrip(this);
    m_strip->setObjectName(QStringLiteral("toggleStrip"));
    m_band = new QWidget(this);
    m_band->setObjectName(QStringLiteral("aboutBand"));
    m_picture = new PictureBox(CarriedImage(CarriedResource::Picture), m_band);
    m_picture->setObjectName(QStringLiteral("picture"));

    m_animationBox = new QLabel(m_band);
    m_animationBox->setObjectName(QStringLiteral("animation"));
    m_animationBytes = UnpackCarriedResource(CarriedResource::Animation);
    m_animationStream = new QBuffer(&m_animationBytes, this);
    m_animationStream->open(QIODevice::ReadOnly);
    m_movie = new QMovie(m_animationStream, QByteArray("gif"), this);
    m_movie->setCacheMode(QMovie::CacheAll);
    m_movie->setScaledSize(QSize(20 * u, 20 * u));
    m_animationBox->setMovie(m_movie);

    m_banner = new PictureBox(CarriedImage(CarriedResource::Banner), m_band);
    m_banner->setObjectName(QStringLiteral("banner"));
    m_credit = new QLabel(m_band);
    m_credit->setObjectName(QStringLiteral("credit"));
    m_caption = new QLabel(m_band);
    m_caption->setObjectName(QStringLiteral("caption"));
    for (QLabel* label : {m_credit, m_caption}) {
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setWordWrap(true);
        SetBrushColour(label, QPalette::WindowText, kBrushBlack);
    }

    m_helpBox = new QTextBrowser(this);
    m_helpBox->setObjectName(QStringLiteral("helpBox"));
    m_helpBox->setOpenExternalLinks(true);
    m_helpBox->setContextMenuPolicy(Qt::CustomContextMenu);
    m_helpBox->setFrameShape(QFrame::Box);
    SetBrushColour(m_helpBox, QPalette::Base, kBrushWhite);
    SetBrushColour(m_helpBox, QPalette::Text, kBrushBlack);
    connect(m_helpBox, &QWidget::customContextMenuRequested, this, &HelpPage::showHelpMenu);
    connect(m_strip, &ToggleStrip::clicked, this, &HelpPage::ToggleAboutBand);

    m_band->setFixedHeight(20 * u);
    m_strip->setFixedHeight(3 * u);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_band);
    layout->addWidget(m_strip);
    layout->addWidget(m_helpBox, 1);
    m_movie->start();
}

void HelpPage::retext()
{
    m_caption->setText(CaptionText());
    LoadHelpDocument();
    layoutBand();
}

void HelpPage::LoadHelpDocument()
{
    m_helpBox->clear();
    QByteArray bytes = ReadHelpFile(LanguageFolderFile(AppSettings().language, QStringLiteral(".html")));
    if (bytes.isEmpty())
        bytes = UnpackCarriedResource(CarriedResource::DefaultHelp);
    m_helpBox->setHtml(QString::fromUtf8(bytes));
    m_helpBox->moveCursor(QTextCursor::Start);
    m_credit->setText(GetLanguageString(270));
    layoutBand();
}

void HelpPage::ToggleAboutBand()
{
    m_bandShown = !m_bandShown;
    m_band->setVisible(m_bandShown);
    m_strip->setBandShown(m_bandShown);
    if (m_bandShown)
        m_movie->start();
    else
        m_movie->setPaused(true);
}

void HelpPage::resizeEvent(QResizeEvent* event)
{
    KestrelPage::resizeEvent(event);
    layoutBand();
}

void HelpPage::layoutBand()
{
    const int u = LayoutUnit();
    const int w = m_band->width() > 0 ? m_band->width() : width();
    const int h = 20 * u;
    m_animationBox->setGeometry(u, 0, 20 * u, 20 * u);
    m_banner->setGeometry(23 * u, (h - kBannerHeight) / 2, kBannerWidth, kBannerHeight);
    m_picture->setGeometry(w - 21 * u, 0, 20 * u, 20 * u);
    // The two lines end beside the picture and may wrap onto a second line
    // where the banner leaves them little room.
    const int left = 23 * u + kBannerWidth + u;
    const int right = w - 22 * u;
    const int textWidth = std::max(right - left, 10 * u);
    const int creditHeight = m_credit->heightForWidth(textWidth);
    const int captionHeight = m_caption->heightForWidth(textWidth);
    int y = std::max(0, (h - creditHeight - captionHeight - u / 2) / 2);
    m_credit->setGeometry(right - textWidth, y, textWidth, creditHeight);
    y += creditHeight + u / 2;
    m_caption->setGeometry(right - textWidth, y, textWidth, captionHeight);
}

QMenu* HelpPage::createHelpMenu()
{
    auto* menu = new QMenu(this);
    const QTextCursor cursor = m_helpBox->textCursor();
    QAction* copy = menu->addAction(GetLanguageString(268));
    copy->setEnabled(cursor.hasSelection());
    connect(copy, &QAction::triggered, m_helpBox, &QTextEdit::copy);
    QAction* all = menu->addAction(GetLanguageString(269));
    const int end = m_helpBox->document()->characterCount() - 1;
    all->setEnabled(!(cursor.selectionStart() == 0 && cursor.selectionEnd() >= end && end > 0));
    connect(all, &QAction::triggered, m_helpBox, &QTextEdit::selectAll);
    return menu;
}

void HelpPage::showHelpMenu(const QPoint& pos)
{
    if (m_helpBox->document()->isEmpty())
        return;
    QMenu* menu = createHelpMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_helpBox->viewport()->mapToGlobal(pos));
}
