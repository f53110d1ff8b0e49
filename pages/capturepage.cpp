// SPDX-License-Identifier: GPL-3.0-or-later
// Construction, texts, the fields and the enabling of the capture and append
// page. The capture itself is started and stopped in capturepageactions.cpp.
#include "pages/capturepage.h"
#include "pages/pagetext.h"

#include "common/settings.h"
#include "common/textutil.h"
#include "imaging/taskrun.h"
#include "pages/core/mountlogic.h"
#include "ui/configtexteditor.h"
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
#include <QVBoxLayout>

namespace {

const QString kImagePattern = QStringLiteral("*.WIM;*.ESD");

} // namespace

CapturePage::CapturePage(QWidget* parent) : KestrelPage(kPageCapture, parent)
{
    const uint32_t stored = AppSettings().compressType;
    m_rememberedCompression = stored >= 1 && stored <= 4 ? int(stored) - 1 : 2;
    buildControls();
    connectControls();
    setupTask();
    m_clearHint->setChecked(AppSettings().clearHint != 0);
    m_appendStop->hide();
    m_createStop->hide();
    setProgressVisible(false);
    retext();
    checkCaptureTarget();
}

CapturePage::~CapturePage()
{
    // The worker reads m_task until it returns: ask it to stop and let it
    // end (a stopped capture leaves no partial file) before the record goes.
    if (m_running && TaskWorker().isRunning()) {
        RequestCancel(m_task);
        OperationGate().set();
        TaskWorker().join();
    }
    m_task.Poster = nullptr;
}

void CapturePage::buildControls()
{
    const int u = LayoutUnit();
    setMinimumSize(pageSize());
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(u, u, u, u);
    top->setSpacing(u);

    auto fieldGroup = [this](QGroupBox*& group, QLineEdit*& edit, QPushButton*& browse, const char* name) {
        group = new QGroupBox(this);
        auto* row = new QHBoxLayout(group);
        edit = new QLineEdit(group);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setMaxLength(kPathUnits - 1);
        browse = new QPushButton(group);
        row->addWidget(edit, 1);
        row->addWidget(browse);
        return group;
    };
    auto* fields = new QHBoxLayout;
    fields->addWidget(fieldGroup(m_sourceGroup, m_sourceEdit, m_sourceBrowse, "sourceFolder"), 1);
    fields->addWidget(fieldGroup(m_targetGroup, m_targetEdit, m_targetBrowse, "targetFile"), 1);
    m_sourceBrowse->setObjectName(QStringLiteral("browseSource"));
    m_targetBrowse->setObjectName(QStringLiteral("browseTarget"));
    top->addLayout(fields);

    // The four texts of the new image, two to a row.
    auto* texts = new QGridLayout;
    const char* textNames[4] = {"imageName", "imageDescription", "displayName", "displayDescription"};
    for (int i = 0; i < 4; ++i) {
        m_textLabels[i] = new QLabel(this);
        m_textEdits[i] = new QLineEdit(this);
        m_textEdits[i]->setObjectName(QString::fromLatin1(textNames[i]));
        m_textEdits[i]->setMaxLength(kPathUnits - 1);
        m_textLabels[i]->setBuddy(m_textEdits[i]);
        texts->addWidget(m_textLabels[i], i / 2, (i % 2) * 2);
        texts->addWidget(m_textEdits[i], i / 2, (i % 2) * 2 + 1);
    }
    texts->setColumnStretch(1, 1);
    texts->setColumnStretch(3, 1);
    top->addLayout(texts);

    auto* options = new QHBoxLayout;
    m_options1Group = new QGroupBox(this);
    auto* o1 = new QGridLayout(m_options1Group);
    m_compressLabel = new QLabel(m_options1Group);
    m_compress = new QComboBox(m_options1Group);
    m_compress->setObjectName(QStringLiteral("compression"));
    m_flagsLabel = new QLabel(m_options1Group);
    m_flags = new QComboBox(m_options1Group);
    m_flags->setObjectName(QStringLiteral("flags"));
    m_flags->setEditable(true);
    m_flags->setInsertPolicy(QComboBox::NoInsert);
    m_flags->lineEdit()->setMaxLength(kSmallUnits - 1);
    o1->addWidget(m_compressLabel, 0, 0);
    o1->addWidget(m_compress, 0, 1);
    o1->addWidget(m_flagsLabel, 1, 0);
    o1->addWidget(m_flags, 1, 1);
    o1->setColumnStretch(1, 1);
    m_options2Group = new QGroupBox(this);
    auto* o2 = new QVBoxLayout(m_options2Group);
    auto addBox = [this](QVBoxLayout* layout, const char* name) {
        auto* box = new QCheckBox(m_options2Group);
        box->setObjectName(QString::fromLatin1(name));
        layout->addWidget(box);
        return box;
    };
    m_boot = addBox(o2, "bootImage");
    m_clearHint = addBox(o2, "clearBeforeTask");
    m_noConfig = addBox(o2, "noConfiguration");
    options->addWidget(m_options1Group, 1);
    options->addWidget(m_options2Group, 1);
    top->addLayout(options);

    auto makeButton = [this](const char* name) {
        auto* b = new QPushButton(this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    m_appendButton = makeButton("append");
    m_appendStop = makeButton("appendStop");
    m_configButton = makeButton("configuration");
    m_createButton = makeButton("create");
    m_createStop = makeButton("createStop");
    // The stop buttons' captions are dark red.
    for (QPushButton* stop : {m_appendStop, m_createStop}) {
        QPalette red = stop->palette();
        red.setColor(QPalette::ButtonText, BrushColor(kBrushDarkRed));
        stop->setPalette(red);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {m_appendButton, m_appendStop, m_configButton, m_createButton, m_createStop})
        buttons->addWidget(b);
    top->addLayout(buttons);

    top->addLayout(m_progressRow.build(this));

    m_infoGroup = new QGroupBox(this);
    auto* infoLayout = new QVBoxLayout(m_infoGroup);
    messageBox()->setParent(m_infoGroup);
    messageBox()->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    infoLayout->addWidget(messageBox());
    top->addWidget(m_infoGroup, 1);
}

void CapturePage::connectControls()
{
    connect(m_sourceEdit, &QLineEdit::textChanged, this, &CapturePage::checkCaptureTarget);
    connect(m_targetEdit, &QLineEdit::textChanged, this, &CapturePage::checkCaptureTarget);
    connect(m_sourceBrowse, &QPushButton::clicked, this, [this] {
        const QString folder = PickFolder(this, L(88));
        if (!folder.isEmpty())
            m_sourceEdit->setText(folder);
    });
    connect(m_targetBrowse, &QPushButton::clicked, this, [this] {
        const QString file = PickSaveFile(this, L(132), L(133), kImagePattern, L(293));
        if (!file.isEmpty())
            m_targetEdit->setText(file);
    });
    connect(m_compress, &QComboBox::activated, this, [this](int index) { m_rememberedCompression = index; });
    connect(m_createButton, &QPushButton::clicked, this, &CapturePage::createImage);
    connect(m_appendButton, &QPushButton::clicked, this, &CapturePage::appendImage);
    connect(m_appendStop, &QPushButton::clicked, this, &CapturePage::stopCapture);
    connect(m_createStop, &QPushButton::clicked, this, &CapturePage::stopCapture);
    connect(m_configButton, &QPushButton::clicked, this, [this] { ConfigTextEditor(this); });
}

void CapturePage::retext()
{
    m_sourceGroup->setTitle(L(88));
    m_targetGroup->setTitle(L(89));
    m_sourceBrowse->setText(L(62));
    m_targetBrowse->setText(L(62));
    for (int i = 0; i < 4; ++i)
        m_textLabels[i]->setText(L(90 + i));
    m_compressLabel->setText(L(96));
    m_flagsLabel->setText(L(97));
    m_options1Group->setTitle(L(64));
    m_options2Group->setTitle(L(63));
    m_infoGroup->setTitle(L(65));
    m_boot->setText(L(98));
    m_clearHint->setText(L(99));
    m_noConfig->setText(L(100));
    m_appendButton->setText(L(94));
    m_configButton->setText(L(55));
    m_createButton->setText(L(95));
    m_appendStop->setText(L(76));
    m_createStop->setText(L(76));
    {
        // A new language gives new names for the same entries: the user's
        // choice stays.
        const QSignalBlocker block(m_compress);
        const int shown = m_compress->currentIndex();
        FillCompressTypeList(m_compress, m_rememberedCompression);
        if (shown >= 0 && shown < m_compress->count())
            m_compress->setCurrentIndex(shown);
    }
    QString prompt;
    const bool showedPrompt = m_flags->currentIndex() == 0 || m_flags->currentText().isEmpty();
    FillSystemFlagList(m_flags, &prompt);
    if (showedPrompt)
        m_flags->setCurrentIndex(m_flags->count() > 0 ? 0 : -1);
    m_task.ElapsedPrefix = L(51);
    m_task.RemainingPrefix = L(52);
    m_task.CountPrefix = L(53);
    // Until the next action the message box shows the page's help text.
    if (!m_running) {
        m_infoShown = false;
        KestrelPage::retext();
    }
}

void CapturePage::setDirectory(const QString& path)
{
    m_sourceEdit->setText(path);
}

void CapturePage::pageShown()
{
    checkCaptureTarget();
}

void CapturePage::dropFile(const QString& path, const QPoint& pos)
{
    auto inside = [pos, this](QWidget* w) {
        return QRect(w->mapTo(this, QPoint(0, 0)), w->size()).contains(pos);
    };
    const QFileInfo info(path);
    if (inside(m_targetGroup) && !info.isDir())
        SetFieldFromDrop(m_targetEdit, path, {QStringLiteral("WIM"), QStringLiteral("ESD")});
    else if (inside(m_sourceGroup) && info.isDir())
        m_sourceEdit->setText(path);
}

void CapturePage::checkCaptureTarget()
{
    if (m_running || isLocked())
        return;
    const CaptureTargetState state = CheckCaptureTarget(m_sourceEdit->text(), m_targetEdit->text());
    m_appendButton->setEnabled(state.append);
    m_createButton->setEnabled(state.create);
    if (state.splitTarget) {
        showInfoBox(true);
        appendToLog(L(78) + u'\n');
    }
}

void CapturePage::showInfoBox(bool clearIfAsked)
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

