// SPDX-License-Identifier: GPL-3.0-or-later
#include "realfile.h"

#include "common/settings.h"
#include "support/testenv.h"

void RealFileTest::SetUp()
{
    QString why;
    if (!BindTestImagingLayer(&why))
        GTEST_SKIP() << "imaging layer not available: " << why.toStdString();
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    m_dir = MakeTestDir(QString::fromLatin1(info->test_suite_name()) + u'-' + QString::fromLatin1(info->name()));
    AppSettings().wimTempPath = m_dir + QStringLiteral("/scratch/tmp");
}
