// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/taskrelay.h"

TaskRelay::TaskRelay() : m_poster(new QObject) {}

TaskRelay::~TaskRelay()
{
    m_poster->deleteLater();
}

void TaskRelay::attach(const std::shared_ptr<TaskRelay>& relay, TASKCONTEXT& ctx)
{
    ctx.ElapsedLabel = relay->elapsed.onSetText ? &relay->elapsed : nullptr;
    ctx.RemainingLabel = relay->remaining.onSetText ? &relay->remaining : nullptr;
    ctx.CountLabel = relay->count.onSetText ? &relay->count : nullptr;
    ctx.ProgressBar = relay->bar.onSetPercent ? &relay->bar : nullptr;
    ctx.Poster = relay->m_poster;
    ctx.KeepAlive = relay;
}
