// SPDX-License-Identifier: GPL-3.0-or-later
#include "pagedriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

BoxAnswerer::BoxAnswerer(std::deque<QMessageBox::StandardButton> answers) : m_answers(std::move(answers))
{
    connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::poll);
    m_timer.start(10);
}

void BoxAnswerer::poll()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || m_answers.empty())
        return;
    m_texts << box->text();
    m_titles << box->windowTitle();
    const QMessageBox::StandardButton answer = m_answers.front();
    if (m_answers.size() > 1)
        m_answers.pop_front();
    if (QAbstractButton* b = box->button(answer))
        b->click();
    else
        box->reject();
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    // Deliver what the worker posted last.
    QCoreApplication::processEvents();
    return true;
}
