// SPDX-License-Identifier: GPL-3.0-or-later
// Driving a page from a test: answering its message boxes and waiting for
// its worker while the event loop runs.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>

// Answers the message boxes that open while it lives, one answer each, in
// order (the last answer repeats), and records what they said.
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(std::deque<QMessageBox::StandardButton> answers);
    int count() const { return m_texts.size(); }
    const QStringList& texts() const { return m_texts; }
    const QStringList& titles() const { return m_titles; }

private:
    void poll();
    std::deque<QMessageBox::StandardButton> m_answers;
    QStringList m_texts;
    QStringList m_titles;
    QTimer m_timer;
};

// Runs the event loop until `done` holds or `timeoutMs` passed; its last value.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 60000);
