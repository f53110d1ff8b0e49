// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/unattendeddialog.h"

#include "common/language.h"
#include "imaging/taskrun.h"
#include "imaging/taskwimlib.h"
#include "ui/drawing.h"
#include "ui/sharedcontrols.h"
#include "ui/taskrelay.h"
#include "ui/wimlibtaskdialog.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>

PercentProgressBar::PercentProgressBar(QWidget* parent)
    : QProgressBar(parent)
{
    setRange(0, 100);
    setTextVisible(false);
}

void PercentProgressBar::setPercentText(const QString& text)
{
    m_percentText = text;
    update();
}

void PercentProgressBar::paintEvent(QPaintEvent* event)
{
    QProgressBar::paintEvent(event);
    QPainter painter(this);
    painter.setPen(BrushColor(kBrushDarkRed));
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, m_percentText);
}

namespace {

const QString kCrLf = QStringLiteral("\n");

QString lines(std::initializer_list<int> strings)
{
    QStringList parts;
    for (int n : strings)
        parts.append(n < 0 ? QString() : GetLanguageString(n));
    return parts.join(kCrLf);
}

} // namespace

UnattendedProgressDialog::UnattendedProgressDialog(UnattendedRun& run, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint)
    , m_run(run)
{
    InitDrawingResources();
    setWindowTitle(ProgramTitle());
    setWindowIcon(ProgramIcon());
    setFont(MainFont());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, BrushColor(kBrushBackground));
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    m_action = new QLabel(run.actionText, this);
    m_elapsed = new QLabel(this);
    m_remaining = new QLabel(this);
    m_count = new QLabel(this);
    m_cancel = new QLabel(GetLanguageString(248), this);
    m_cancel->setFont(SemiBoldFont());
    QPalette red = m_cancel->palette();
    red.setColor(QPalette::WindowText, BrushColor(kBrushDarkRed));
    m_cancel->setPalette(red);
    m_cancel->setCursor(Qt::PointingHandCursor);
    m_cancel->installEventFilter(this);
    m_bar = new PercentProgressBar(this);

    auto* grid = new QGridLayout(this);
    const int unit = LayoutUnit();
    grid->setContentsMargins(2 * unit, 2 * unit, 2 * unit, 2 * unit);
    grid->addWidget(m_action, 0, 0);
    grid->addWidget(m_elapsed, 0, 1, Qt::AlignRight);
    grid->addWidget(m_bar, 1, 0, 1, 2);
    grid->addWidget(m_remaining, 2, 0);
    grid->addWidget(m_count, 2, 1, Qt::AlignRight);
    grid->addWidget(m_cancel, 3, 1, Qt::AlignRight);
    setFixedSize(100 * unit, 36 * unit);

    // The worker may outlive the dialog (a forced stop closes it at once):
    // its updates go through a relay that the record keeps alive.
    auto relay = std::make_shared<TaskRelay>();
    auto setText = [](QLabel* label, const QString& t) { label->setText(t); };
    TaskRelay::onText<QLabel>(relay->elapsed, m_elapsed, setText);
    TaskRelay::onText<QLabel>(relay->remaining, m_remaining, setText);
    TaskRelay::onText<QLabel>(relay->count, m_count, setText);
    TaskRelay::onPercent<PercentProgressBar>(relay->bar, m_bar,
                                             [](PercentProgressBar* bar, int percent, const QString& text) {
                                                 bar->setValue(percent);
                                                 bar->setPercentText(text);
                                             });
    if (TASKCONTEXT* ctx = m_run.ctx)
        TaskRelay::attach(relay, *ctx);
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

// Nothing of the record is written here: an abandoned worker may still read
// it, and the relay it points at stays alive with it.
UnattendedProgressDialog::~UnattendedProgressDialog() = default;

void UnattendedProgressDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_started || !m_run.ctx || !m_run.work)
        return;
    m_started = true;
    QPointer<UnattendedProgressDialog> self(this);
    m_running = StartTaskWorker(*m_run.ctx, m_run.work, [self] {
        if (self)
            self->workerFinished();
    });
    if (!m_running)
        done(1);
}

void UnattendedProgressDialog::workerFinished()
{
    m_running = false;
    done(1);
}

void UnattendedProgressDialog::reject()
{
    // Escape and the window's close button do nothing while the operation
    // runs: only the cancel label stops it.
    if (!m_running)
        QDialog::reject();
}

bool UnattendedProgressDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_cancel && event->type() == QEvent::MouseButtonRelease) {
        cancelClicked();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

StopChoice UnattendedProgressDialog::ask()
{
    if (askOverride)
        return askOverride();
    switch (m_run.stopMode) {
    case UnattendedStopMode::Apply:
        return AskStop(this, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok ? StopChoice::Stop
                                                                                       : StopChoice::Continue;
    case UnattendedStopMode::Capture:
        switch (AskStopThreeWay(this)) {
        case QMessageBox::Yes:
            return StopChoice::Stop;
        case QMessageBox::No:
            return StopChoice::ForceStop;
        default:
            return StopChoice::Continue;
        }
    case UnattendedStopMode::Export: {
        QMessageBox box(QMessageBox::Question, GetLanguageString(122), lines({123, 124, 125, -1, 288, 289}),
                        QMessageBox::Retry | QMessageBox::Cancel, this);
        ButtonTextHook(box);
        return box.exec() == QMessageBox::Retry ? StopChoice::ForceStop : StopChoice::Continue;
    }
    }
    return StopChoice::Continue;
}

void UnattendedProgressDialog::cancelClicked()
{
    if (!m_running || !m_run.ctx)
        return;
    const StopChoice choice = StopOperation(*m_run.ctx, [this] { return ask(); });
    if (choice == StopChoice::ForceStop) {
        m_running = false;
        m_end = UnattendedEnd::ForcedStop;
        done(1);
    }
}

namespace {

class WidgetTaskDialogs : public TaskDialogs {
public:
    UnattendedEnd runUnattended(UnattendedRun& run) override
    {
        UnattendedProgressDialog dialog(run);
        dialog.exec();
        return dialog.end();
    }
    int runWimlibTask(QObject* parent, WIMLIBTASK& task) override
    {
        return RunWimlibTaskDialog(qobject_cast<QWidget*>(parent), task);
    }
    bool askYesNo(const QString& caption, const QString& text) override
    {
        return QMessageBox::question(nullptr, caption, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    }
};

} // namespace

void RegisterWidgetTaskDialogs()
{
    static WidgetTaskDialogs dialogs;
    RegisterTaskDialogs(&dialogs);
}
