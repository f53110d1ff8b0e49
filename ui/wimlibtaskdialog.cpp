// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/wimlibtaskdialog.h"

#include "common/language.h"
#include "imaging/progress.h"
#include "imaging/taskrun.h"
#include "ui/drawing.h"
#include "ui/taskrelay.h"
#include "ui/unattendeddialog.h"

#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>
#include <wimlib.h>

// What the task and the dialog share; the task keeps it alive. Updates go
// through a relay that lives as long as the record (see TaskRelay).
struct WimlibTaskDialog::Shared {
    WIMLIBTASK task;
    TASKCONTEXT display;
    int result = WIMLIB_ERR_ABORTED_BY_PROGRESS;
};

WimlibTaskDialog::WimlibTaskDialog(WIMLIBTASK& task, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_task(task)
    , m_shared(std::make_shared<Shared>())
{
    InitDrawingResources();
    setWindowTitle(task.Title.isEmpty() ? ProgramTitle() : task.Title);
    setFont(MainFont());
    m_elapsed = new QLabel(this);
    m_bar = new PercentProgressBar(this);
    m_error = new QLabel(this);
    QPalette red = m_error->palette();
    red.setColor(QPalette::WindowText, BrushColor(kBrushDarkRed));
    m_error->setPalette(red);
    m_error->setWordWrap(true);
    m_error->hide();
    m_cancel = new QLabel(GetLanguageString(248), this);
    m_cancel->setFont(SemiBoldFont());
    m_cancel->setPalette(red);
    m_cancel->setCursor(Qt::PointingHandCursor);
    m_cancel->installEventFilter(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_elapsed);
    layout->addWidget(m_bar);
    layout->addWidget(m_error);
    layout->addWidget(m_cancel, 0, Qt::AlignRight);
    setMinimumWidth(90 * LayoutUnit());

    m_shared->task = task;
    auto relay = std::make_shared<TaskRelay>();
    TaskRelay::onText<QLabel>(relay->elapsed, m_elapsed, [](QLabel* label, const QString& t) { label->setText(t); });
    TaskRelay::onPercent<PercentProgressBar>(relay->bar, m_bar,
                                             [](PercentProgressBar* bar, int percent, const QString& text) {
                                                 bar->setValue(percent);
                                                 bar->setPercentText(text);
                                             });
    TaskRelay::attach(relay, m_shared->display);
}

WimlibTaskDialog::~WimlibTaskDialog() = default;

void WimlibTaskDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    PostPercent(m_shared->display.ProgressBar, 0, m_shared->display);
    QPointer<WimlibTaskDialog> self(this);
    std::shared_ptr<Shared> shared = m_shared;
    // The task runs as the process's one operation: no other writer starts
    // while it runs, and the dialog stays until it has ended.
    auto routine = [shared] {
        try {
            shared->result = RunWimlibTaskOperation(shared->task, shared->display);
        } catch (...) {
            shared->result = WIMLIB_ERR_NOMEM;
        }
    };
    auto finished = [shared, self] {
        if (self)
            self->taskFinished(shared->result);
    };
    m_running = StartTaskWorker(m_shared->display, routine, finished);
    if (!m_running)
        taskFinished(WIMLIB_ERR_ABORTED_BY_PROGRESS); // another operation still runs
}

void WimlibTaskDialog::taskFinished(int result)
{
    m_running = false;
    m_task.Result = result;
    // A task the user stopped closes without an error report.
    if (result == 0 || m_shared->display.Cancel.load()) {
        done(0);
        return;
    }
    m_failed = true;
    m_bar->hide();
    m_error->setText(WimlibErrorReport(result));
    m_error->show();
}

bool WimlibTaskDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_cancel && event->type() == QEvent::MouseButtonRelease) {
        cancel();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void WimlibTaskDialog::cancel()
{
    if (!m_running) {
        done(0);
        return;
    }
    // wimlib stops at its next progress message; the dialog closes once the
    // task has ended, so that nothing of it runs on behind the user's back.
    RequestCancel(m_shared->display);
    m_cancel->setEnabled(false);
}

void WimlibTaskDialog::reject()
{
    // Escape and the close button stop the task like the cancel label.
    cancel();
}

int RunWimlibTaskDialog(QWidget* parent, WIMLIBTASK& task)
{
    task.Result = WIMLIB_ERR_ABORTED_BY_PROGRESS;
    WimlibTaskDialog dialog(task, parent);
    dialog.exec();
    return task.Result;
}
