// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/iconpage.h"
#include "pages/pagetext.h"

#include "common/settings.h"
#include "common/textutil.h"
#include "metadata/infobox.h"
#include "pages/core/mountlogic.h"
#include "ui/drawing.h"
#include "ui/pickers.h"
#include "ui/sharedcontrols.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QString kBreak = QStringLiteral("\r\n");
constexpr int kCellEdge = 36; // a 32 x 32 icon and its margin

} // namespace

// A framed box that draws one icon square at its own size, centred, or at
// the box's size when that is smaller; a text when there is no icon.
class IconPreview : public QFrame {
public:
    explicit IconPreview(QWidget* parent) : QFrame(parent)
    {
        setFrameShape(QFrame::StyledPanel);
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, BrushColor(kBrushWhite));
        setPalette(p);
    }
    void show(const QImage& image, int edge, const QString& emptyText = QString())
    {
        m_image = image;
        m_edge = edge;
        m_emptyText = emptyText;
        update();
    }
    const QImage& image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QFrame::paintEvent(event);
        QPainter painter(this);
        const QRect box = contentsRect();
        if (m_image.isNull()) {
            painter.drawText(box, Qt::AlignCenter | Qt::TextWordWrap, m_emptyText);
            return;
        }
        const int side = std::min({m_edge, box.width(), box.height()});
        const QRect target(box.x() + (box.width() - side) / 2, box.y() + (box.height() - side) / 2, side, side);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, m_image);
    }

private:
    QImage m_image;
    int m_edge = 0;
    QString m_emptyText;
};

IconPage::IconPage(QWidget* parent) : KestrelPage(kPageIcon, parent)
{
    buildControls();
    m_task.Poster = this;
    m_infoWindow.onAppendText = [this](const QString& text) { appendToLog(text); };
    m_task.InfoBox = &m_infoWindow;
    m_pickSavePath = [this] { return PickSaveFile(this, L(205), L(206), QStringLiteral("*.ICO"), L(293)); };
    connectControls();
    retext();
    ClearIconList();
    imageFileChanged(QString());
}

IconPage::~IconPage()
{
    // The worker reads m_task until it returns.
    if (m_running && TaskWorker().isRunning())
        TaskWorker().join();
    m_task.Poster = nullptr;
}

void IconPage::buildControls()
{
    const int u = LayoutUnit();
    setMinimumSize(pageSize());
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(u, u, u, u);
    top->setSpacing(u);
    auto named = [](QWidget* w, const char* name) { w->setObjectName(QString::fromLatin1(name)); };

    m_sourceGroup = new QGroupBox(this);
    auto* grid = new QGridLayout(m_sourceGroup);
    m_imageLabel = new QLabel(m_sourceGroup);
    m_imageEdit = new QLineEdit(m_sourceGroup);
    m_imageBrowse = new QPushButton(m_sourceGroup);
    m_sourceLabel = new QLabel(m_sourceGroup);
    m_sourceEdit = new QLineEdit(m_sourceGroup);
    m_sourceBrowse = new QPushButton(m_sourceGroup);
    named(m_imageEdit, "imageFile");
    named(m_imageBrowse, "browseFile");
    named(m_sourceEdit, "iconSource");
    named(m_sourceBrowse, "browseSource");
    for (QLineEdit* e : {m_imageEdit, m_sourceEdit})
        e->setMaxLength(kPathUnits - 1);
    grid->addWidget(m_imageLabel, 0, 0);
    grid->addWidget(m_imageEdit, 0, 1);
    grid->addWidget(m_imageBrowse, 0, 2);
    grid->addWidget(m_sourceLabel, 1, 0);
    grid->addWidget(m_sourceEdit, 1, 1);
    grid->addWidget(m_sourceBrowse, 1, 2);
    grid->setColumnStretch(1, 1);
    top->addWidget(m_sourceGroup);

    auto* middle = new QHBoxLayout;
    middle->setSpacing(u);
    m_listGroup = new QGroupBox(this);
    auto* listLayout = new QVBoxLayout(m_listGroup);
    m_iconList = new QTableWidget(kIconMinRows, kIconColumns + 1, m_listGroup);
    named(m_iconList, "iconList");
    m_iconList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_iconList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_iconList->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_iconList->setIconSize(QSize(32, 32));
    m_iconList->verticalHeader()->hide();
    m_iconList->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_iconList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_iconList->horizontalHeader()->setDefaultSectionSize(kCellEdge);
    m_iconList->verticalHeader()->setDefaultSectionSize(kCellEdge);
    m_iconList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_iconList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette cells = m_iconList->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive})
        cells.setColor(group, QPalette::Highlight, BrushColor(kBrushHeading));
    m_iconList->setPalette(cells);
    const int frame = 2 * m_iconList->frameWidth();
    m_iconList->setFixedWidth((kIconColumns + 1) * kCellEdge + frame + m_iconList->verticalScrollBar()->sizeHint().width());
    m_iconList->setMinimumHeight(kIconMinRows * kCellEdge + m_iconList->horizontalHeader()->sizeHint().height() + frame);
    listLayout->addWidget(m_iconList);
    middle->addWidget(m_listGroup);

    m_sizeGroup = new QGroupBox(this);
    auto* sizeLayout = new QVBoxLayout(m_sizeGroup);
    m_sizeCombo = new QComboBox(m_sizeGroup);
    named(m_sizeCombo, "iconSize");
    m_chosenPreview = new IconPreview(m_sizeGroup);
    named(m_chosenPreview, "chosenPreview");
    sizeLayout->addWidget(m_sizeCombo);
    sizeLayout->addWidget(m_chosenPreview, 1);
    middle->addWidget(m_sizeGroup, 1);

    m_storedGroup = new QGroupBox(this);
    auto* storedLayout = new QVBoxLayout(m_storedGroup);
    m_storedPreview = new IconPreview(m_storedGroup);
    named(m_storedPreview, "storedPreview");
    storedLayout->addWidget(m_storedPreview, 1);
    middle->addWidget(m_storedGroup, 1);
    top->addLayout(middle, 3);

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(u);
    m_infoGroup = new QGroupBox(this);
    auto* infoLayout = new QVBoxLayout(m_infoGroup);
    messageBox()->setParent(m_infoGroup);
    messageBox()->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    infoLayout->addWidget(messageBox());
    bottom->addWidget(m_infoGroup, 1);
    auto* buttons = new QVBoxLayout;
    m_writeButton = new QPushButton(this);
    m_deleteButton = new QPushButton(this);
    m_saveButton = new QPushButton(this);
    m_rebuildButton = new QPushButton(this);
    named(m_writeButton, "writeIcon");
    named(m_deleteButton, "deleteIcon");
    named(m_saveButton, "saveIcon");
    named(m_rebuildButton, "rebuildCache");
    buttons->addStretch(1);
    for (QPushButton* b : {m_writeButton, m_deleteButton, m_saveButton, m_rebuildButton})
        buttons->addWidget(b);
    bottom->addLayout(buttons);
    top->addLayout(bottom, 2);
}

void IconPage::connectControls()
{
    connect(m_imageEdit, &QLineEdit::textChanged, this, &IconPage::imageFileChanged);
    connect(m_sourceEdit, &QLineEdit::textChanged, this, &IconPage::iconSourceChanged);
    connect(m_imageBrowse, &QPushButton::clicked, this, [this] {
        const QString file = PickOpenFile(this, L(132), L(133), QStringLiteral("*.WIM;*.ESD"), m_imageEdit->text());
        if (!file.isEmpty())
            m_imageEdit->setText(file);
    });
    connect(m_sourceBrowse, &QPushButton::clicked, this, [this] {
        const QString file = PickOpenFile(this, L(149), L(203), IconSourcePattern(), m_sourceEdit->text());
        if (!file.isEmpty())
            m_sourceEdit->setText(file);
    });
    connect(m_iconList, &QTableWidget::cellClicked, this, &IconPage::selectCell);
    connect(m_sizeCombo, &QComboBox::currentIndexChanged, this, [this] { updateChosenPreview(); });
    connect(m_writeButton, &QPushButton::clicked, this, &IconPage::writeIcon);
    connect(m_deleteButton, &QPushButton::clicked, this, &IconPage::deleteIcon);
    connect(m_saveButton, &QPushButton::clicked, this, &IconPage::saveIconFile);
    connect(m_rebuildButton, &QPushButton::clicked, this, &IconPage::rebuildIconCache);
}

void IconPage::retext()
{
    m_sourceGroup->setTitle(L(217));
    m_imageLabel->setText(L(159));
    m_imageBrowse->setText(L(62));
    m_sourceLabel->setText(L(216));
    m_sourceBrowse->setText(L(62));
    m_sizeGroup->setTitle(L(218));
    m_storedGroup->setTitle(L(219));
    m_infoGroup->setTitle(L(65));
    m_saveButton->setText(L(205));
    m_rebuildButton->setText(L(213));
    m_deleteButton->setText(L(214));
    m_writeButton->setText(L(215));
    {
        const QSignalBlocker block(m_sizeCombo);
        const int chosen = m_sizeCombo->currentIndex();
        m_sizeCombo->clear();
        for (int i = 0; i < int(kIconSizes.size()); ++i)
            m_sizeCombo->addItem(IconSizeText(i));
        m_sizeCombo->setCurrentIndex(chosen >= 0 ? chosen : 0);
    }
    updateListTitle();
    updateStoredPreview();
    KestrelPage::retext();
}

void IconPage::setImageFile(const QString& path)
{
    m_imageEdit->setText(path);
}

void IconPage::setIconSource(const QString& path)
{
    m_sourceEdit->setText(path);
}

void IconPage::dropFile(const QString& path, const QPoint& pos)
{
    auto inside = [pos, this](QWidget* w) { return QRect(w->mapTo(this, QPoint(0, 0)), w->size()).contains(pos); };
    if (QFileInfo(path).isDir())
        return;
    if (inside(m_imageEdit))
        SetFieldFromDrop(m_imageEdit, path, {QStringLiteral("WIM"), QStringLiteral("ESD")});
    else if (inside(m_sourceEdit) || inside(m_iconList) || inside(m_chosenPreview))
        SetFieldFromDrop(m_sourceEdit, path, IconSourceExtensions());
}

int IconPage::selectedSize() const
{
    return kIconSizes[size_t(std::max(0, m_sizeCombo->currentIndex()))];
}

bool IconPage::writable() const
{
    return m_fileExists && m_fileInfo.TotalParts == 1;
}

void IconPage::imageFileChanged(const QString& path)
{
    m_fileInfo = WIMFILEINFO{};
    m_stored = IMAGEICON{};
    m_fileExists = IsExistingFile(path);
    if (m_fileExists) {
        const uint32_t count = GetImageFileInfo(path, m_fileInfo);
        if (count > 0) {
            std::vector<WIMIMAGEINFO> images(count);
            ReadImageInfo(path, m_fileInfo, images);
            messageBox()->clear();
            for (const QString& line : ShowImageFileSummary(m_fileInfo))
                appendToLog(line + kBreak);
            messageBox()->verticalScrollBar()->setValue(0);
        }
        if (m_fileInfo.TotalParts >= 2) {
            messageBox()->clear();
            appendToLog(kBreak + L(194) + kBreak);
        }
        m_stored = ReadImageIcon(path, kStoredIconReadEdge, 0);
    }
    updateStoredPreview();
    updateButtons();
}

void IconPage::iconSourceChanged(const QString& path)
{
    bool tooLarge = false;
    if (!IsExistingFile(path) || !LoadIconSource(path, &tooLarge))
        ClearIconList();
    if (tooLarge) {
        messageBox()->clear();
        appendToLog(kBreak + L(302) + kBreak);
    }
    updateChosenPreview();
}

bool IconPage::LoadIconSource(const QString& path, bool* tooLarge)
{
    m_selected = -1;
    if (!m_source.load(path, tooLarge))
        return false;
    fillIconList();
    updateListTitle();
    updateChosenPreview();
    updateButtons();
    return true;
}

void IconPage::ClearIconList()
{
    m_source.clear();
    m_selected = -1;
    fillIconList();
    updateListTitle();
    updateChosenPreview();
    updateStoredPreview();
    updateButtons();
}

void IconPage::fillIconList()
{
    const int count = m_source.count();
    const int rows = IconListRows(count);
    m_iconList->clearContents();
    m_iconList->setRowCount(rows);
    const QColor rowNumber(0, 0, 255);
    for (int row = 0; row < rows; ++row) {
        auto* number = new QTableWidgetItem(QString::number(row));
        number->setForeground(rowNumber);
        number->setTextAlignment(Qt::AlignCenter);
        number->setFlags(Qt::ItemIsEnabled);
        m_iconList->setItem(row, 0, number);
        for (int column = 1; column <= kIconColumns; ++column) {
            const int index = IconCellIndex(row, column, count);
            auto* cell = new QTableWidgetItem;
            if (index >= 0) {
                const QImage icon = m_source.icon(32, index);
                if (!icon.isNull())
                    cell->setIcon(QIcon(QPixmap::fromImage(icon)));
                cell->setToolTip(QString::number(index));
                cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            } else {
                cell->setFlags(Qt::NoItemFlags);
            }
            m_iconList->setItem(row, column, cell);
        }
    }
    // The column headers read as the index's last digit, so that row 5 and
    // header 3 make icon 53; the first one shows the selected index.
    QStringList headers{QString()};
    for (int column = 1; column <= kIconColumns; ++column)
        headers << QString::number(column - 1);
    m_iconList->setHorizontalHeaderLabels(headers);
    m_iconList->clearSelection();
}

void IconPage::updateListTitle()
{
    const int count = m_source.count();
    m_listGroup->setTitle(count > 0 ? QStringLiteral("%1[%2]").arg(L(211)).arg(count) : L(211));
}

void IconPage::selectCell(int row, int column)
{
    const int index = IconCellIndex(row, column, m_source.count());
    if (index < 0)
        return;
    m_selected = index;
    m_iconList->setCurrentCell(row, column);
    if (QTableWidgetItem* header = m_iconList->horizontalHeaderItem(0))
        header->setText(QString::number(index));
    updateChosenPreview();
    updateButtons();
}

QImage IconPage::chosenPreview() const
{
    return m_chosenPreview->image();
}

void IconPage::updateChosenPreview()
{
    if (m_selected < 0) {
        if (QTableWidgetItem* header = m_iconList->horizontalHeaderItem(0))
            header->setText(QString());
        m_chosenPreview->show(QImage(), 0);
        return;
    }
    // Shown as it will be stored: through the ICO it is written as.
    const int size = selectedSize();
    m_chosenPreview->show(IcoBytesToImage(IconToIcoBytes(m_source.icon(size, m_selected))), size);
}

void IconPage::updateStoredPreview()
{
    m_storedPreview->show(m_stored.Large, m_stored.Width, L(220));
}

void IconPage::updateButtons()
{
    if (m_running)
        return;
    const bool selected = m_selected >= 0;
    m_saveButton->setEnabled(selected);
    m_writeButton->setEnabled(writable() && selected);
    m_deleteButton->setEnabled(writable() && m_stored.Found);
}
