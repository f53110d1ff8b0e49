// SPDX-License-Identifier: GPL-3.0-or-later
// The progress row under a flood of updates from an operation: the bar keeps
// up with at most a few repaints, yet always ends on the latest step.
#include "ui/progressrow.h"

#include <gtest/gtest.h>

#include <QHBoxLayout>
#include <QProgressBar>
#include <QTest>
#include <QWidget>

namespace {

TEST(TaskProgressRow, FloodOfStepsEndsOnTheLatest)
{
    QWidget parent;
    TaskProgressRow row;
    parent.setLayout(row.build(&parent));
    TASKCONTEXT ctx;
    row.attach(ctx);
    int repaints = 0;
    QObject::connect(row.bar, &QProgressBar::valueChanged, [&] { ++repaints; });

    // The first step shows at once.
    ctx.ProgressBar->setPercent(1, QStringLiteral("1%"));
    EXPECT_EQ(row.bar->value(), 1);
    for (int percent = 2; percent <= 60; ++percent)
        ctx.ProgressBar->setPercent(percent, QString::number(percent) + u'%');
    EXPECT_LT(repaints, 5);
    QTRY_COMPARE(row.bar->value(), 60);
    EXPECT_EQ(row.bar->format(), QStringLiteral("60%"));

    // The last step and a new start show at once.
    ctx.ProgressBar->setPercent(61, QStringLiteral("61%"));
    ctx.ProgressBar->setPercent(100, QStringLiteral("100%"));
    EXPECT_EQ(row.bar->value(), 100);
    ctx.ProgressBar->setPercent(0, QStringLiteral("0%"));
    EXPECT_EQ(row.bar->value(), 0);
    // Nothing older comes in after it.
    QTest::qWait(150);
    EXPECT_EQ(row.bar->value(), 0);
}

} // namespace
