// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/wimlibtaskdialog.h"

#include "common/language.h"
#include "imaging/progress.h"
#include "ui/drawing.h"
#include "ui/unattendeddialog.h"

#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>
#include <thread>
#include <wimlib.h>

// What the task thread and the dialog share. The thread keeps it alive
// after the dialog is gone. Updates go through a relay object of the GUI
// thread that lives as long as this record, and each one checks that the
// dialog is still there before it touches a widget.
struct WimlibTaskDialog::Shared {
    WIMLIBTASK task;
    TASKCONTEXT display;
    FunctionTaskWindow elapsed;
    FunctionTaskWindow bar;
    QObject* relay = new QObject; // made on the GUI thread

    ~Shared() { relay->deleteLater(); } // safe from any thread
};

WimlibTaskDialog::WimlibTaskDialog(WIMLIBTASK& task, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_task(task)
    , m_shared(std::make_shared<Shared>())
{
    InitDrawingResources();
    setWindowTitle(ProgramTitle());
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
    QPointer<WimlibTaskDialog> self(this);
    m_shared->elapsed.onSetText = [self](const QString& t) {
        if (self)
            self->m_elapsed->setText(t);
    };
    m_shared->bar.onSetPercent = [self](int percent, const QString& text) {
        if (self) {
            self->m_bar->setValue(percent);
            self->m_bar->setPercentText(text);
        }
    };
    m_shared->display.ElapsedLabel = &m_shared->elapsed;
    m_shared->display.ProgressBar = &m_shared->bar;
    m_shared->display.Poster = m_shared->relay;
}

WimlibTaskDialog::~WimlibTaskDialog() = default;

void WimlibTaskDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    PostPercent(&m_shared->bar, 0, m_shared->display);
    QPointer<WimlibTaskDialog> self(this);
    std::shared_ptr<Shared> shared = m_shared;
    try {
        std::thread([shared, self] {
            int rc = WIMLIB_ERR_NOMEM;
            try {
                rc = RunWimlibTaskOperation(shared->task, shared->display);
            } catch (...) {
            }
            QMetaObject::invokeMethod(
                shared->relay,
                [self, rc] {
                    if (self)
                        self->taskFinished(rc);
                },
                Qt::QueuedConnection);
        }).detach();
    } catch (...) {
        taskFinished(WIMLIB_ERR_NOMEM);
    }
}

void WimlibTaskDialog::taskFinished(int result)
{
    m_task.Result = result;
    if (result == 0) {
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
        done(0);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

int RunWimlibTaskDialog(QWidget* parent, WIMLIBTASK& task)
{
    task.Result = WIMLIB_ERR_ABORTED_BY_PROGRESS;
    WimlibTaskDialog dialog(task, parent);
    dialog.exec();
    return task.Result;
}
