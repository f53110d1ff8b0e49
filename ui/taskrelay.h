// SPDX-License-Identifier: GPL-3.0-or-later
// The GUI side of a run whose widgets may go before its worker does: a
// forced stop closes the progress dialog at once while the abandoned worker
// still posts, and a closed dialog must not be written to. The run's record
// points at the relay's windows and poster, and keeps the relay alive (its
// KeepAlive) as long as the record lives; each update checks that the
// widget it is meant for still exists before it touches it.
#pragma once

#include "imaging/taskcontext.h"
#include "imaging/taskwindow.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

class TaskRelay {
public:
    // Made on the GUI thread; the poster object lives there.
    TaskRelay();
    ~TaskRelay(); // the poster goes with deleteLater, safe from any thread
    TaskRelay(const TaskRelay&) = delete;
    TaskRelay& operator=(const TaskRelay&) = delete;

    // Points the record's label, bar and information windows that the
    // caller set below at this relay, makes it the record's poster and
    // hands the record a share of it.
    static void attach(const std::shared_ptr<TaskRelay>& relay, TASKCONTEXT& ctx);

    // Windows whose updates run `apply` on `widget` while it exists.
    template <typename Widget>
    static void onText(FunctionTaskWindow& window, Widget* widget, std::function<void(Widget*, const QString&)> apply)
    {
        QPointer<Widget> guard(widget);
        window.onSetText = [guard, apply](const QString& text) {
            if (guard)
                apply(guard.data(), text);
        };
    }
    template <typename Widget>
    static void onPercent(FunctionTaskWindow& window, Widget* widget,
                          std::function<void(Widget*, int, const QString&)> apply)
    {
        QPointer<Widget> guard(widget);
        window.onSetPercent = [guard, apply](int percent, const QString& text) {
            if (guard)
                apply(guard.data(), percent, text);
        };
    }

    FunctionTaskWindow elapsed;
    FunctionTaskWindow remaining;
    FunctionTaskWindow count;
    FunctionTaskWindow bar;

private:
    QObject* m_poster;
};
