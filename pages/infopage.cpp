// SPDX-License-Identifier: GPL-3.0-or-later
// The image information page: the file field, the image list, the fields of
// the selected image, and the delete and modify changes, which run on the
// task worker while the page is locked.
#include "pages/infopage.h"
#include "pages/pagetext.h"

#include "common/settings.h"
#include "common/textutil.h"
#include "imaging/progress.h"
#include "imaging/taskrun.h"
#include "metadata/infobox.h"
#include "pages/core/mountlogic.h"
#include "pages/imageinfodialog.h"
#include "ui/drawing.h"
#include "ui/languagewidgets.h"
#include "ui/pickers.h"
#include "ui/sharedcontrols.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cerrno>

namespace {

const QString kBreak = QStringLiteral("\r\n");

enum : int {
    kStepRead = 160,
    kSplitPart = 161,
    kChooseImage = 162,
    kUpdated = 164,
};

// Fills the "%u" places of a language string in order.
QString FillNumbers(QString text, std::initializer_list<uint32_t> numbers)
{
    qsizetype from = 0;
    for (const uint32_t n : numbers) {
        const qsizetype at = text.indexOf(QStringLiteral("%u"), from);
        if (at < 0)
            break;
        const QString digits = QString::number(n);
        text.replace(at, 2, digits);
        from = at + digits.size();
    }
    return text;
}

} // namespace

InfoPage::InfoPage(QWidget* parent) : KestrelPage(kPageInfo, parent)
{
    buildControls();
    connectControls();
    m_task.Poster = this;
    m_infoWindow.onAppendText = [this](const QString& text) { appendToLog(text); };
    m_task.InfoBox = &m_infoWindow;
    m_readLog.InfoBox = &m_infoWindow;
    retext();
    clearFields();
    applyEnabling();
}

InfoPage::~InfoPage()
{
    // The worker reads m_task until it returns.
    if (m_running && TaskWorker().isRunning())
        TaskWorker().join();
    m_task.Poster = nullptr;
}

void InfoPage::buildControls()
{
    const int u = LayoutUnit();
    setMinimumSize(pageSize());
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(u, u, u, u);
    top->setSpacing(u);

    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };

    m_fileGroup = new QGroupBox(this);
    auto* fileRow = new QHBoxLayout(m_fileGroup);
    m_fileEdit = new QLineEdit(m_fileGroup);
    m_fileEdit->setMaxLength(kPathUnits - 1);
    m_browseButton = new QPushButton(m_fileGroup);
    m_viewButton = new QPushButton(m_fileGroup);
    named(m_fileEdit, "imageFile");
    named(m_browseButton, "browseFile");
    named(m_viewButton, "viewInformation");
    fileRow->addWidget(m_fileEdit, 1);
    fileRow->addWidget(m_browseButton);
    fileRow->addWidget(m_viewButton);
    top->addWidget(m_fileGroup);

    m_listGroup = new QGroupBox(this);
    auto* listLayout = new QVBoxLayout(m_listGroup);
    m_list = new QTreeWidget(m_listGroup);
    named(m_list, "images");
    m_list->setColumnCount(kColumnCount);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(kColName, QHeaderView::Stretch);
    // The chosen row stays blue with white text when the list loses focus.
    QPalette rows = m_list->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        rows.setColor(group, QPalette::Base, BrushColor(kBrushWhite));
        rows.setColor(group, QPalette::Highlight, BrushColor(kBrushHeading));
        rows.setColor(group, QPalette::HighlightedText, BrushColor(kBrushWhite));
    }
    m_list->setPalette(rows);
    m_list->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    listLayout->addWidget(m_list);
    top->addWidget(m_listGroup, 1);

    auto* options = new QHBoxLayout;
    m_options2Group = new QGroupBox(this);
    auto* grid = new QGridLayout(m_options2Group);
    auto addField = [this, grid](QLabel*& label, QLineEdit*& edit, int row, int column, const char* name) {
        label = new QLabel(m_options2Group);
        edit = new QLineEdit(m_options2Group);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setMaxLength(kPathUnits - 1);
        label->setBuddy(edit);
        grid->addWidget(label, row, column);
        grid->addWidget(edit, row, column + 1);
    };
    addField(m_nameLabel, m_nameEdit, 0, 0, "name");
    addField(m_displayNameLabel, m_displayNameEdit, 0, 2, "displayName");
    addField(m_descriptionLabel, m_descriptionEdit, 1, 0, "description");
    addField(m_displayDescriptionLabel, m_displayDescriptionEdit, 1, 2, "displayDescription");
    m_flagsLabel = new QLabel(m_options2Group);
    m_flagsBox = new QComboBox(m_options2Group);
    named(m_flagsBox, "flags");
    m_flagsBox->setEditable(true);
    m_flagsBox->setInsertPolicy(QComboBox::NoInsert);
    m_flagsBox->lineEdit()->setMaxLength(kSmallUnits - 1);
    m_flagsLabel->setBuddy(m_flagsBox);
    grid->addWidget(m_flagsLabel, 2, 0);
    grid->addWidget(m_flagsBox, 2, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    options->addWidget(m_options2Group, 3);

    m_options1Group = new QGroupBox(this);
    auto* actions = new QVBoxLayout(m_options1Group);
    m_bootBox = new QCheckBox(m_options1Group);
    m_modifyButton = new QPushButton(m_options1Group);
    m_deleteButton = new QPushButton(m_options1Group);
    named(m_bootBox, "boot");
    named(m_modifyButton, "modify");
    named(m_deleteButton, "delete");
    actions->addWidget(m_bootBox);
    actions->addStretch(1);
    actions->addWidget(m_modifyButton);
    actions->addWidget(m_deleteButton);
    options->addWidget(m_options1Group, 1);
    top->addLayout(options);

    m_infoGroup = new QGroupBox(this);
    auto* infoLayout = new QVBoxLayout(m_infoGroup);
    messageBox()->setParent(m_infoGroup);
    messageBox()->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    infoLayout->addWidget(messageBox());
    top->addWidget(m_infoGroup, 1);
}

void InfoPage::connectControls()
{
    connect(m_fileEdit, &QLineEdit::textChanged, this, &InfoPage::fileFieldChanged);
    connect(m_browseButton, &QPushButton::clicked, this, [this] {
        const QString file = PickOpenFile(this, L(132), L(133), QStringLiteral("*.WIM;*.SWM;*.ESD"));
        if (!file.isEmpty())
            m_fileEdit->setText(file);
    });
    connect(m_viewButton, &QPushButton::clicked, this, &InfoPage::viewInformation);
    connect(m_modifyButton, &QPushButton::clicked, this, &InfoPage::modifyImage);
    connect(m_deleteButton, &QPushButton::clicked, this, &InfoPage::deleteImage);
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        const int row = item ? m_list->indexOfTopLevelItem(item) : -1;
        if (!m_filling && row >= 0 && row != m_selectedRow && uint32_t(row) < m_fileInfo.ImageCount)
            SelectImageRow(row);
    });
    for (QLineEdit* edit : {m_nameEdit, m_descriptionEdit, m_displayNameEdit, m_displayDescriptionEdit})
        connect(edit, &QLineEdit::textChanged, this, &InfoPage::CheckModified);
    connect(m_flagsBox, &QComboBox::currentTextChanged, this, &InfoPage::CheckModified);
    connect(m_bootBox, &QCheckBox::toggled, this, &InfoPage::CheckModified);
}

void InfoPage::retext()
{
    m_fileGroup->setTitle(L(159));
    m_listGroup->setTitle(L(156));
    m_options2Group->setTitle(L(63));
    m_options1Group->setTitle(L(64));
    m_infoGroup->setTitle(L(65));
    m_browseButton->setText(L(62));
    m_viewButton->setText(L(296));
    m_nameLabel->setText(L(90));
    m_descriptionLabel->setText(L(91));
    m_displayNameLabel->setText(L(92));
    m_displayDescriptionLabel->setText(L(93));
    m_flagsLabel->setText(L(97));
    m_bootBox->setText(L(98));
    m_modifyButton->setText(L(157));
    m_deleteButton->setText(L(158));
    m_list->setHeaderLabels({L(36), L(151), L(152), L(153), L(154), L(155)});
    {
        // The flags list follows the language; the typed or chosen text stays.
        const QSignalBlocker block(m_flagsBox);
        const QString text = m_flagsBox->currentText();
        const bool wasPrompt = m_flagsBox->currentIndex() == 0 && text == m_flagsPrompt;
        m_flagsBox->clear();
        FillSystemFlagList(m_flagsBox, &m_flagsPrompt);
        if (wasPrompt)
            m_flagsBox->setCurrentIndex(0);
        else
            m_flagsBox->setEditText(text);
    }
    // Until a file is chosen the box shows the page's help text.
    if (!m_fileRead && !m_running)
        KestrelPage::retext();
    CheckModified();
}

void InfoPage::setImageFile(const QString& path)
{
    if (m_running)
        return;
    m_fileEdit->setText(path);
}

void InfoPage::dropFile(const QString& path, const QPoint&)
{
    // The page keeps its file while a change of it runs.
    if (m_running)
        return;
    // The page has one field: a drop anywhere on it is meant for it.
    SetFieldFromDrop(m_fileEdit, path, {QStringLiteral("WIM"), QStringLiteral("SWM"), QStringLiteral("ESD")});
}

void InfoPage::fileFieldChanged()
{
    const QString path = m_fileEdit->text();
    if (IsExistingFile(path)) {
        LoadImageList(path);
        return;
    }
    m_list->clear();
    messageBox()->clear();
    m_fileInfo = WIMFILEINFO{};
    m_images.clear();
    m_loadedPath.clear();
    m_boxHead.clear();
    m_fileRead = false;
    m_selectedRow = -1;
    clearFields();
    applyEnabling();
}

void InfoPage::clearFields()
{
    const QSignalBlocker b1(m_nameEdit), b2(m_descriptionEdit), b3(m_displayNameEdit), b4(m_displayDescriptionEdit),
        b5(m_flagsBox), b6(m_bootBox);
    for (QLineEdit* edit : {m_nameEdit, m_descriptionEdit, m_displayNameEdit, m_displayDescriptionEdit})
        edit->clear();
    m_bootBox->setChecked(false);
    if (m_flagsBox->count() > 0)
        m_flagsBox->setCurrentIndex(0);
    m_flagsBox->setEditText(m_flagsBox->itemText(0));
    m_modifyButton->setEnabled(false);
}

void InfoPage::LoadImageList(const QString& path, bool quiet)
{
    m_selectedRow = -1;
    messageBox()->clear();
    if (!quiet) {
        LogLineBreak(m_readLog);
        LogStep(m_readLog, kStepRead);
    }
    clearFields();

    m_filling = true;
    m_list->clear();
    m_filling = false;
    m_loadedPath = path;
    int error = 0;
    const bool ok = ReadImageFile(path, m_fileInfo, m_images, &error);
    m_fileRead = ok;
    if (ok) {
        m_filling = true;
        for (size_t i = 0; i < m_images.size(); ++i) {
            const WIMIMAGEINFO& image = m_images[i];
            auto* item = new QTreeWidgetItem(m_list);
            item->setText(kColIndex, QString::number(i + 1));
            item->setText(kColName, image.Name);
            item->setText(kColArch, image.ArchText);
            item->setText(kColVersion, image.VersionText);
            item->setText(kColLanguage, image.DefaultLanguage);
            item->setText(kColSize, image.SizeText);
            item->setToolTip(kColName, image.Name);
        }
        m_list->setCurrentItem(nullptr);
        m_filling = false;
    }
    if (!quiet)
        LogResult(m_readLog, ok, true, error);
    if (ok) {
        for (const QString& line : ShowImageFileSummary(m_fileInfo))
            LogText(m_readLog, line + kBreak);
        LogLineBreak(m_readLog);
        if (!quiet) {
            if (m_fileInfo.TotalParts > 1) {
                const QString split =
                    FillNumbers(L(kSplitPart), {uint32_t(m_fileInfo.PartNumber), uint32_t(m_fileInfo.TotalParts)});
                LogText(m_readLog, split + kBreak);
            } else {
                LogText(m_readLog, L(kChooseImage) + kBreak);
            }
        }
    }
    m_boxHead = messageBox()->toPlainText();
    // The summary is what the reader looks for first.
    messageBox()->verticalScrollBar()->setValue(0);
    applyEnabling();
}

void InfoPage::SelectImageRow(int row)
{
    if (row < 0 || uint32_t(row) >= m_images.size())
        return;
    m_selectedRow = row;
    {
        m_filling = true;
        m_list->setCurrentItem(m_list->topLevelItem(row));
        m_filling = false;
    }
    clearFields();
    const WIMIMAGEINFO& image = m_images[size_t(row)];
    {
        const QSignalBlocker b1(m_nameEdit), b2(m_descriptionEdit), b3(m_displayNameEdit),
            b4(m_displayDescriptionEdit), b5(m_flagsBox), b6(m_bootBox);
        m_nameEdit->setText(image.Name);
        m_descriptionEdit->setText(image.Description);
        m_displayNameEdit->setText(image.DisplayName);
        m_displayDescriptionEdit->setText(image.DisplayDescription);
        m_bootBox->setChecked(uint32_t(row) + 1 == m_fileInfo.BootIndex);
        const int flagsItem = FindComboText(m_flagsBox, image.Flags);
        if (flagsItem >= 0) {
            m_flagsBox->setCurrentIndex(flagsItem);
        } else {
            m_flagsBox->setCurrentIndex(-1);
            m_flagsBox->setEditText(image.Flags);
        }
    }
    CheckModified();

    // The details of the chosen image replace those of the one before.
    QStringList lines = ShowImageDetails(m_fileInfo, m_images, uint32_t(row) + 1, true);
    QString text = m_boxHead;
    if (!text.isEmpty() && !text.endsWith(u'\n'))
        text += u'\n';
    // The view starts at the image's details (the scroll unit is a line).
    const int detailsLine = int(text.count(u'\n'));
    text += lines.join(u'\n');
    messageBox()->setPlainText(text);
    messageBox()->verticalScrollBar()->setValue(detailsLine);
    applyEnabling();
}

ImageEditInputs InfoPage::fieldInputs() const
{
    ImageEditInputs in;
    in.name = m_nameEdit->text();
    in.description = m_descriptionEdit->text();
    in.displayName = m_displayNameEdit->text();
    in.displayDescription = m_displayDescriptionEdit->text();
    in.flags = m_flagsBox->currentText();
    in.boot = m_bootBox->isChecked();
    return in;
}

void InfoPage::CheckModified()
{
    if (isLocked())
        return;
    bool modified = false;
    if (m_fileRead && m_fileInfo.TotalParts == 1 && m_selectedRow >= 0 && size_t(m_selectedRow) < m_images.size()) {
        const bool isBoot = uint32_t(m_selectedRow) + 1 == m_fileInfo.BootIndex;
        modified = IsImageModified(m_images[size_t(m_selectedRow)], isBoot, fieldInputs());
    }
    m_modifyButton->setEnabled(modified);
}

void InfoPage::applyEnabling()
{
    if (isLocked())
        return;
    InfoPageInputs in;
    in.fileRead = m_fileRead;
    in.totalParts = m_fileInfo.TotalParts;
    in.imageCount = m_fileInfo.ImageCount;
    in.bootIndex = m_fileInfo.BootIndex;
    in.selectedRow = m_selectedRow;
    const InfoPageEnabling e = DecideInfoPageEnabling(in);
    m_viewButton->setEnabled(e.view);
    for (QWidget* w : std::initializer_list<QWidget*>{m_nameEdit, m_descriptionEdit, m_displayNameEdit,
                                                      m_displayDescriptionEdit, m_flagsBox})
        w->setEnabled(e.fields);
    m_bootBox->setEnabled(e.boot);
    m_deleteButton->setEnabled(e.remove);
    CheckModified();
}


bool InfoPage::startChange(void (*routine)(ImageInfoTask&), int row)
{
    if (!PrepareTaskStart())
        return false;
    messageBox()->clear();
    m_task.ImagePath = CutToUnits(m_loadedPath, kPathUnits);
    m_task.TempPath = CutToUnits(AppSettings().wimTempPath, kPathUnits);
    m_task.ImageIndex = uint32_t(row) + 1;
    m_task.Succeeded = false;
    m_task.FailureText.clear();
    lockPage();
    m_running = true;
    ImageInfoTask* task = &m_task;
    const bool reselect = routine == &ModifyImageWorker;
    if (!StartTaskWorker(m_task, [task, routine] { routine(*task); },
                         [this, row, reselect] { changeEnded(row, reselect); })) {
        m_running = false;
        unlockPage();
        return false;
    }
    return true;
}

void InfoPage::changeEnded(int row, bool reselect)
{
    m_running = false;
    unlockPage();
    if (!m_task.Succeeded) {
        // The file is as it was: the list and the fields stay.
        applyEnabling();
        return;
    }
    // The box keeps what the change logged only until the list is read
    // again; it then shows the summary of the changed file.
    LoadImageList(m_loadedPath, true);
    LogText(m_readLog, L(kUpdated) + kBreak);
    m_boxHead = messageBox()->toPlainText();
    if (reselect && row >= 0 && uint32_t(row) < m_fileInfo.ImageCount)
        SelectImageRow(row);
}

void InfoPage::deleteImage()
{
    if (!m_fileRead || m_selectedRow < 0 || size_t(m_selectedRow) >= m_images.size() || m_running)
        return;
    const int row = m_selectedRow;
    // Deleting cannot be undone: ask once, naming the image.
    QString text = L(329) + QStringLiteral("\n\n") + L(75) + QString::number(row + 1);
    const QString& name = m_images[size_t(row)].Name;
    if (!name.isEmpty())
        text += u'\n' + L(90) + name;
    text += QStringLiteral("\n\n") + L(330);
    if (QMessageBox::question(this, L(328), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) !=
        QMessageBox::Yes)
        return;
    startChange(&DeleteImageWorker, row);
}

void InfoPage::modifyImage()
{
    if (!m_fileRead || m_selectedRow < 0 || size_t(m_selectedRow) >= m_images.size() || m_running)
        return;
    m_task.Edit = MakeMetadataEdit(uint32_t(m_selectedRow) + 1, fieldInputs(), m_flagsPrompt);
    startChange(&ModifyImageWorker, m_selectedRow);
}

void InfoPage::viewInformation()
{
    RunImageInfoDialog(this, m_fileEdit->text());
}
