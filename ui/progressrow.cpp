// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/progressrow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

namespace {
constexpr int kBarInterval = 80;
}

QHBoxLayout* TaskProgressRow::build(QWidget* parent)
{
    bar = new QProgressBar(parent);
    bar->setObjectName(QStringLiteral("progress"));
    bar->setRange(0, 100);
    bar->setTextVisible(true);
    m_barTimer = new QTimer(bar);
    m_barTimer->setSingleShot(true);
    QObject::connect(m_barTimer, &QTimer::timeout, bar, [this] { showPercent(m_pendingPercent, m_pendingText); });
    elapsed = new QLabel(parent);
    remaining = new QLabel(parent);
    count = new QLabel(parent);
    elapsed->setObjectName(QStringLiteral("elapsed"));
    remaining->setObjectName(QStringLiteral("remaining"));
    count->setObjectName(QStringLiteral("fileCount"));
    auto* row = new QHBoxLayout;
    row->addWidget(bar, 2);
    row->addWidget(elapsed, 1);
    row->addWidget(remaining, 1);
    row->addWidget(count, 1);
    return row;
}

void TaskProgressRow::attach(TASKCONTEXT& ctx)
{
    m_elapsedWindow.onSetText = [this](const QString& text) { elapsed->setText(text); };
    m_remainingWindow.onSetText = [this](const QString& text) { remaining->setText(text); };
    m_countWindow.onSetText = [this](const QString& text) { count->setText(text); };
    m_barWindow.onSetPercent = [this](int percent, const QString& text) {
        m_pendingPercent = percent;
        m_pendingText = text;
        // The first and the last step show at once.
        if (percent == 0 || percent >= 100) {
            showPercent(percent, text);
            return;
        }
        if (m_barTimer->isActive())
            return;
        const qint64 since = m_barShown.isValid() ? m_barShown.elapsed() : kBarInterval;
        if (since >= kBarInterval)
            showPercent(percent, text);
        else
            m_barTimer->start(int(kBarInterval - since));
    };
    ctx.ElapsedLabel = &m_elapsedWindow;
    ctx.RemainingLabel = &m_remainingWindow;
    ctx.CountLabel = &m_countWindow;
    ctx.ProgressBar = &m_barWindow;
}

void TaskProgressRow::showPercent(int percent, const QString& text)
{
    m_barTimer->stop();
    m_barShown.start();
    bar->setValue(percent);
    bar->setFormat(text);
}
