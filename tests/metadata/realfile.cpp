// SPDX-License-Identifier: GPL-3.0-or-later
#include "realfile.h"

#include "common/settings.h"
#include "support/testenv.h"

std::unique_ptr<ImagingLayer> RealFileTest::s_layer;

void RealFileTest::SetUpTestSuite()
{
    s_layer = std::make_unique<ImagingLayer>();
}

void RealFileTest::TearDownTestSuite()
{
    s_layer.reset();
}

void RealFileTest::SetUp()
{
    if (!s_layer->loaded())
        GTEST_SKIP() << "imaging layer not available: " << s_layer->error().toStdString();
    if (!s_layer->error().isEmpty())
        FAIL() << s_layer->error().toStdString();
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    m_dir = MakeTestDir(QString::fromLatin1(info->test_suite_name()) + u'-' + QString::fromLatin1(info->name()));
    AppSettings().wimTempPath = m_dir + QStringLiteral("/scratch/tmp");
}
