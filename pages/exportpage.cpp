// SPDX-License-Identifier: GPL-3.0-or-later
// Construction, texts, fields, the image number and the enabling of the
// export, split and optimise page. Starting and stopping the tasks is in
// exportpageactions.cpp.
#include "pages/exportpage.h"
#include "pages/pagetext.h"

#include "common/settings.h"
#include "imaging/taskrun.h"
#include "metadata/infobox.h"
#include "pages/core/mountlogic.h"
#include "ui/drawing.h"
#include "ui/languagewidgets.h"
#include "ui/pickers.h"
#include "ui/sharedcontrols.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

const QStringList kImageExtensions = {QStringLiteral("WIM"), QStringLiteral("ESD"), QStringLiteral("SWM")};

// A button shows "&" only when it is doubled ("Optimise & Convert").
QString ButtonText(const QString& text)
{
    QString escaped = text;
    return escaped.replace(u'&', QStringLiteral("&&"));
}

int TaskName(ExportTask task)
{
    switch (task) {
    case ExportTask::Split: return 117;
    case ExportTask::Optimize: return 361;
    default: return 114;
    }
}

} // namespace

ExportPage::ExportPage(QWidget* parent) : KestrelPage(kPageExport, parent)
{
    buildControls();
    connectControls();
    setupTask();
    const Settings& s = AppSettings();
    m_clearHint->setChecked(s.clearHint != 0);
    m_rememberedCompression = int(std::clamp<uint32_t>(s.compressType, 1, 4)) - 1;
    FillCompressTypeList(m_compression, m_rememberedCompression);
    m_compression->setCurrentIndex(m_rememberedCompression);
    m_stopButton->hide();
    setProgressVisible(false);
    retext();
    sourceChanged();
    chooseTask(ExportTask::Export);
}

ExportPage::~ExportPage()
{
    // The worker reads m_task until it returns.
    if (m_running && TaskWorker().isRunning()) {
        RequestCancel(m_task);
        OperationGate().set();
        TaskWorker().join();
    }
    m_task.Poster = nullptr;
}

void ExportPage::buildControls()
{
    const int u = LayoutUnit();
    setMinimumSize(pageSize());
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(u, u, u, u);
    top->setSpacing(u / 2 + 1);

    auto fieldGroup = [this](QGroupBox*& group, QLineEdit*& edit, QPushButton*& browse, const char* name) {
        group = new QGroupBox(this);
        auto* row = new QHBoxLayout(group);
        edit = new QLineEdit(group);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setMaxLength(511);
        browse = new QPushButton(group);
        browse->setObjectName(QStringLiteral("browse_") + QString::fromLatin1(name));
        row->addWidget(edit, 1);
        row->addWidget(browse);
        return group;
    };
    top->addWidget(fieldGroup(m_sourceGroup, m_sourceEdit, m_sourceBrowse, "source"));
    top->addWidget(fieldGroup(m_targetGroup, m_targetEdit, m_targetBrowse, "target"));

    auto* middle = new QHBoxLayout;
    m_imageGroup = new QGroupBox(this);
    auto* imageGrid = new QGridLayout(m_imageGroup);
    m_indexLabel = new QLabel(m_imageGroup);
    m_indexSpin = new QSpinBox(m_imageGroup);
    m_indexSpin->setObjectName(QStringLiteral("imageNumber"));
    m_indexSpin->setWrapping(true);
    m_indexSpin->setMinimumWidth(8 * u);
    m_hint = new QLabel(m_imageGroup);
    m_hint->setWordWrap(true);
    QPalette blue = m_hint->palette();
    blue.setColor(QPalette::WindowText, BrushColor(kBrushHeading));
    m_hint->setPalette(blue);
    m_nameLabel = new QLabel(m_imageGroup);
    m_nameEdit = new QLineEdit(m_imageGroup);
    m_nameEdit->setObjectName(QStringLiteral("imageName"));
    m_descriptionLabel = new QLabel(m_imageGroup);
    m_descriptionEdit = new QLineEdit(m_imageGroup);
    m_descriptionEdit->setObjectName(QStringLiteral("imageDescription"));
    // They show the chosen image; the export keeps the image's own texts.
    m_nameEdit->setReadOnly(true);
    m_descriptionEdit->setReadOnly(true);
    auto* numberRow = new QHBoxLayout;
    numberRow->addWidget(m_indexSpin);
    numberRow->addStretch(1);
    imageGrid->addWidget(m_indexLabel, 0, 0);
    imageGrid->addLayout(numberRow, 0, 1);
    imageGrid->addWidget(m_hint, 1, 0, 1, 2);
    imageGrid->addWidget(m_nameLabel, 2, 0);
    imageGrid->addWidget(m_nameEdit, 2, 1);
    imageGrid->addWidget(m_descriptionLabel, 3, 0);
    imageGrid->addWidget(m_descriptionEdit, 3, 1);
    imageGrid->setColumnStretch(1, 1);
    middle->addWidget(m_imageGroup, 1);

    m_taskGroup = new QGroupBox(this);
    auto* taskLayout = new QVBoxLayout(m_taskGroup);
    auto* taskRow = new QHBoxLayout;
    m_heading = new QLabel(m_taskGroup);
    m_heading->setObjectName(QStringLiteral("taskHeading"));
    m_heading->setAlignment(Qt::AlignCenter);
    m_heading->setAutoFillBackground(true);
    QPalette heading = m_heading->palette();
    heading.setColor(QPalette::Window, BrushColor(kBrushHeading));
    heading.setColor(QPalette::WindowText, BrushColor(kBrushWhite));
    m_heading->setPalette(heading);
    m_heading->setMinimumHeight(2 * u);
    taskRow->addWidget(m_heading, 1);
    const char* taskNames[3] = {"taskExport", "taskSplit", "taskOptimize"};
    for (int i = 0; i < 3; ++i) {
        m_taskButtons[i] = new QPushButton(m_taskGroup);
        m_taskButtons[i]->setObjectName(QString::fromLatin1(taskNames[i]));
        taskRow->addWidget(m_taskButtons[i], 1);
    }
    taskLayout->addLayout(taskRow);
    auto* settingsRow = new QHBoxLayout;
    m_compressionLabel = new QLabel(m_taskGroup);
    m_compression = new QComboBox(m_taskGroup);
    m_compression->setObjectName(QStringLiteral("compression"));
    m_partSizeLabel = new QLabel(m_taskGroup);
    m_partSize = new QLineEdit(m_taskGroup);
    m_partSize->setObjectName(QStringLiteral("partSize"));
    m_partSize->setMaxLength(10);
    m_partSize->setValidator(new QIntValidator(0, 2147483647, m_partSize));
    m_partSize->setMinimumWidth(6 * u);
    settingsRow->addWidget(m_compressionLabel);
    settingsRow->addWidget(m_compression, 1);
    settingsRow->addWidget(m_partSizeLabel);
    settingsRow->addWidget(m_partSize, 1);
    taskLayout->addLayout(settingsRow);
    auto* boxes = new QGridLayout;
    auto addBox = [this, boxes](int row, int column, const char* name) {
        auto* box = new QCheckBox(m_taskGroup);
        box->setObjectName(QString::fromLatin1(name));
        boxes->addWidget(box, row, column);
        return box;
    };
    m_boot = addBox(0, 0, "boot");
    m_allowDuplicates = addBox(0, 1, "allowDuplicates");
    m_clearHint = addBox(1, 0, "clearBeforeTask");
    m_noConfig = addBox(1, 1, "noConfiguration");
    taskLayout->addLayout(boxes);
    auto* buttons = new QHBoxLayout;
    m_startButton = new QPushButton(m_taskGroup);
    m_startButton->setObjectName(QStringLiteral("start"));
    m_stopButton = new QPushButton(m_taskGroup);
    m_stopButton->setObjectName(QStringLiteral("stop"));
    buttons->addStretch(1);
    buttons->addWidget(m_startButton);
    buttons->addWidget(m_stopButton);
    taskLayout->addLayout(buttons);
    middle->addWidget(m_taskGroup, 1);
    top->addLayout(middle);

    top->addLayout(m_progressRow.build(this));

    m_infoGroup = new QGroupBox(this);
    auto* infoLayout = new QVBoxLayout(m_infoGroup);
    messageBox()->setParent(m_infoGroup);
    messageBox()->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    infoLayout->addWidget(messageBox());
    top->addWidget(m_infoGroup, 1);
}

void ExportPage::connectControls()
{
    connect(m_sourceEdit, &QLineEdit::textChanged, this, &ExportPage::sourceChanged);
    connect(m_targetEdit, &QLineEdit::textChanged, this, &ExportPage::checkExportInputs);
    connect(m_partSize, &QLineEdit::textChanged, this, &ExportPage::checkExportInputs);
    connect(m_indexSpin, &QSpinBox::valueChanged, this, &ExportPage::imageNumberChanged);
    connect(m_compression, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_inputsGuard || index < 0 || !m_compression->isEnabled())
            return;
        m_rememberedCompression = index;
        checkExportInputs();
    });
    connect(m_boot, &QCheckBox::toggled, this, [this](bool on) {
        if (m_boot->isEnabled())
            m_rememberedBoot = on;
    });
    connect(m_allowDuplicates, &QCheckBox::toggled, this, [this](bool on) {
        if (m_allowDuplicates->isEnabled())
            m_rememberedDuplicates = on;
    });
    connect(m_sourceBrowse, &QPushButton::clicked, this, [this] {
        const QString file = PickOpenFile(this, L(132), L(133), QStringLiteral("*.WIM;*.SWM;*.ESD"));
        if (!file.isEmpty())
            m_sourceEdit->setText(file);
    });
    connect(m_targetBrowse, &QPushButton::clicked, this, [this] {
        QString pattern = QStringLiteral("*.WIM;*.ESD;*.SWM");
        if (m_taskKind == ExportTask::Split)
            pattern = QStringLiteral("*.SWM;*.WIM");
        else if (m_targetCompression == 3)
            pattern = QStringLiteral("*.ESD;*.WIM");
        const QString file =
            PickSaveFile(this, L(120), L(133), pattern, QFileInfo(m_sourceEdit->text()).completeBaseName());
        if (!file.isEmpty())
            m_targetEdit->setText(file);
    });
    const ExportTask tasks[3] = {ExportTask::Export, ExportTask::Split, ExportTask::Optimize};
    for (int i = 0; i < 3; ++i)
        connect(m_taskButtons[i], &QPushButton::clicked, this, [this, t = tasks[i]] { chooseTask(t); });
    connect(m_startButton, &QPushButton::clicked, this, &ExportPage::startTask);
    connect(m_stopButton, &QPushButton::clicked, this, &ExportPage::stopTask);
}

void ExportPage::retext()
{
    m_imageGroup->setTitle(L(127));
    m_taskGroup->setTitle(L(130));
    m_infoGroup->setTitle(L(65));
    m_sourceBrowse->setText(L(62));
    m_targetBrowse->setText(L(62));
    m_indexLabel->setText(L(75));
    m_indexSpin->setSpecialValueText(L(357));
    m_hint->setText(L(128));
    m_nameLabel->setText(L(129));
    m_descriptionLabel->setText(L(91));
    m_taskButtons[0]->setText(ButtonText(L(114)));
    m_taskButtons[1]->setText(ButtonText(L(117)));
    m_taskButtons[2]->setText(ButtonText(L(361)));
    m_compressionLabel->setText(L(96));
    m_partSizeLabel->setText(L(131));
    m_boot->setText(L(98));
    m_clearHint->setText(L(99));
    m_noConfig->setText(L(100));
    m_allowDuplicates->setText(L(362));
    m_stopButton->setText(L(76));
    {
        m_inputsGuard = true;
        const int selected = m_compression->currentIndex();
        FillCompressTypeList(m_compression, m_rememberedCompression);
        if (selected >= 0 && selected < m_compression->count())
            m_compression->setCurrentIndex(selected);
        m_inputsGuard = false;
    }
    static const int sourceTitles[3] = {115, 118, 358};
    static const int targetTitles[3] = {116, 119, 359};
    const int t = int(m_taskKind);
    m_sourceGroup->setTitle(L(sourceTitles[t]));
    m_targetGroup->setTitle(L(targetTitles[t]));
    m_heading->setText(L(TaskName(m_taskKind)));
    m_startButton->setText(ButtonText(L(TaskName(m_taskKind))));
    m_task.ElapsedPrefix = L(51);
    m_task.RemainingPrefix = L(52);
    m_task.CountPrefix = L(53);
    if (!m_running && !m_infoShown)
        KestrelPage::retext();
}

void ExportPage::setImageFile(const QString& path)
{
    m_sourceEdit->setText(path);
}

void ExportPage::dropFile(const QString& path, const QPoint& pos)
{
    auto inside = [pos, this](QWidget* w) {
        return QRect(w->mapTo(this, QPoint(0, 0)), w->size()).contains(pos);
    };
    const QFileInfo info(path);
    if (inside(m_sourceGroup)) {
        if (info.isFile())
            SetFieldFromDrop(m_sourceEdit, path, kImageExtensions);
    } else if (inside(m_targetGroup)) {
        SetFieldFromDrop(m_targetEdit, path, kImageExtensions);
    }
}

void ExportPage::chooseTask(ExportTask task)
{
    m_taskKind = task;
    showTaskControls();
}

void ExportPage::showTaskControls()
{
    const bool exporting = m_taskKind == ExportTask::Export;
    m_nameEdit->clear();
    m_descriptionEdit->clear();
    m_nameEdit->setEnabled(exporting);
    m_descriptionEdit->setEnabled(exporting);
    m_indexSpin->setEnabled(exporting && m_fileInfo.ImageCount > 1);
    {
        const QSignalBlocker block(m_allowDuplicates);
        m_allowDuplicates->setEnabled(exporting);
        m_allowDuplicates->setChecked(exporting && m_rememberedDuplicates);
    }
    for (int i = 0; i < 3; ++i)
        m_taskButtons[i]->setVisible(i != int(m_taskKind));
    const bool withCompression = m_taskKind != ExportTask::Split;
    m_compressionLabel->setVisible(withCompression);
    m_compression->setVisible(withCompression);
    m_partSizeLabel->setVisible(!withCompression);
    m_partSize->setVisible(!withCompression);
    m_boot->setVisible(true);
    {
        const QSignalBlocker block(m_boot);
        const bool oneImage = m_indexSpin->value() != 0 || m_fileInfo.ImageCount == 1;
        const QString folder = QFileInfo(m_targetEdit->text()).absolutePath();
        const bool bootable = exporting && oneImage && !m_targetEdit->text().isEmpty() && QFileInfo(folder).isDir();
        m_boot->setEnabled(bootable);
        m_boot->setChecked(bootable && m_rememberedBoot);
    }
    if (exporting && m_indexSpin->value() > 0 && uint32_t(m_indexSpin->value()) <= m_images.size()) {
        m_nameEdit->setText(m_images[m_indexSpin->value() - 1].Name);
        m_descriptionEdit->setText(m_images[m_indexSpin->value() - 1].Description);
    }
    retext();
    checkExportInputs();
}

void ExportPage::checkExportInputs()
{
    if (m_running || isLocked())
        return;
    ExportInputs in;
    in.task = m_taskKind;
    in.source = m_sourceEdit->text();
    in.target = m_targetEdit->text();
    in.totalParts = m_fileInfo.TotalParts;
    in.compressionType = m_fileInfo.CompressionType;
    in.partMegabytes = uint64_t(std::max(0, ReadNumber(m_partSize)));
    in.boxCompression = uint32_t(std::max(0, m_rememberedCompression));
    const ExportInputState s = CheckExportInputs(in);
    m_inputsGuard = true;
    m_compression->setEnabled(s.compressionEnabled);
    if (int(s.targetCompression) < m_compression->count())
        m_compression->setCurrentIndex(int(s.targetCompression));
    m_inputsGuard = false;
    m_targetCompression = s.targetCompression;
    m_startButton->setEnabled(s.start);
    // The boot mark needs the target's folder.
    if (m_taskKind == ExportTask::Export) {
        const QSignalBlocker block(m_boot);
        const bool oneImage = m_indexSpin->value() != 0 || m_fileInfo.ImageCount == 1;
        const bool bootable = oneImage && !in.target.isEmpty() && QFileInfo(QFileInfo(in.target).absolutePath()).isDir();
        if (bootable != m_boot->isEnabled()) {
            m_boot->setEnabled(bootable);
            m_boot->setChecked(bootable && m_rememberedBoot);
        }
    }
    // Written once for a source and task, not at every key press.
    const QString messageKey = s.message ? QString::number(s.message) + u'|' + in.source : QString();
    if (s.message != 0 && messageKey != m_messageShownFor) {
        showInfoBox(true);
        appendToLog(L(s.message) + u'\n');
    }
    m_messageShownFor = messageKey;
}

void ExportPage::sourceChanged()
{
    const QString path = m_sourceEdit->text();
    m_fileInfo = WIMFILEINFO{};
    m_images.clear();
    bool ok = false;
    if (IsExistingFile(path)) {
        const uint32_t count = GetImageFileInfo(path, m_fileInfo);
        if (count > 0) {
            m_images.assign(count, WIMIMAGEINFO{});
            ok = ReadImageInfo(path, m_fileInfo, m_images);
            if (!ok)
                m_images.clear();
        }
    }
    {
        const QSignalBlocker block(m_indexSpin);
        m_indexSpin->setRange(0, ok ? int(std::min<uint32_t>(m_fileInfo.ImageCount, INT_MAX)) : 0);
        m_indexSpin->setValue(0);
    }
    m_nameEdit->clear();
    m_descriptionEdit->clear();
    if (ok) {
        showInfoBox(false);
        messageBox()->clear();
        for (const QString& line : ShowImageFileSummary(m_fileInfo))
            appendToLog(line + u'\n');
        messageBox()->verticalScrollBar()->setValue(0);
    } else if (m_infoShown) {
        messageBox()->clear();
    }
    showTaskControls();
}

void ExportPage::imageNumberChanged()
{
    if (m_fileInfo.ImageCount == 0)
        return;
    const int n = m_indexSpin->value();
    showInfoBox(false);
    messageBox()->clear();
    if (n > 0) {
        for (const QString& line : ShowImageDetails(m_fileInfo, m_images, uint32_t(n), true))
            appendToLog(line + u'\n');
    } else {
        for (const QString& line : ShowImageFileSummary(m_fileInfo))
            appendToLog(line + u'\n');
    }
    messageBox()->verticalScrollBar()->setValue(0);
    if (m_taskKind == ExportTask::Export)
        showTaskControls();
}

void ExportPage::showInfoBox(bool clearIfAsked)
{
    if (!m_infoShown) {
        // The help text makes way for the log.
        m_infoShown = true;
        messageBox()->clear();
        return;
    }
    if (clearIfAsked && m_clearHint->isChecked())
        messageBox()->clear();
}

