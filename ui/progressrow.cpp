// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/progressrow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

QHBoxLayout* TaskProgressRow::build(QWidget* parent)
{
    bar = new QProgressBar(parent);
    bar->setObjectName(QStringLiteral("progress"));
    bar->setRange(0, 100);
    bar->setTextVisible(true);
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
        bar->setValue(percent);
        bar->setFormat(text);
    };
    ctx.ElapsedLabel = &m_elapsedWindow;
    ctx.RemainingLabel = &m_remainingWindow;
    ctx.CountLabel = &m_countWindow;
    ctx.ProgressBar = &m_barWindow;
}
