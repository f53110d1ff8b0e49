// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/settings.h"
#include "common/registry.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>

namespace {

const QString kKey = QString::fromUtf16(kSettingsSubKey);
const QString kAppDir = QStringLiteral("/opt/kestrel/x64");

class SettingsTest : public testing::Test {
protected:
    void SetUp() override { QFile::remove(SettingsFilePath()); }
    void TearDown() override { QFile::remove(SettingsFilePath()); }
};

TEST_F(SettingsTest, NoFileGivesTheDefaults)
{
    AppSettings().language = QStringLiteral("untouched");
    LoadSettings(kAppDir);
    const Settings& s = AppSettings();
    for (uint32_t flag : {s.autoOpenPath, s.dblClickUnMountAll, s.dblClickUnMountImage, s.unMountAutoRunCmd,
                          s.dblClickOpenDir, s.clearHint})
        EXPECT_EQ(flag, 1u);
    EXPECT_EQ(s.autoMountPath, kAppDir + QStringLiteral("/MountPath"));
    EXPECT_EQ(s.wimTempPath, SystemTempPath());
    EXPECT_TRUE(s.wimTempPath.endsWith(u'/'));
    EXPECT_EQ(s.compressType, 3u);
    EXPECT_EQ(s.language, QStringLiteral("untouched")) << "the language name is not reset";
    EXPECT_FALSE(QFileInfo::exists(SettingsFilePath())) << "reading must not create the file";
}

TEST_F(SettingsTest, SaveAndLoadRoundTrip)
{
    Settings in;
    in.autoOpenPath = 0;
    in.dblClickUnMountAll = 7; // any non-zero flag is saved as set
    in.dblClickUnMountImage = 0;
    in.unMountAutoRunCmd = 1;
    in.dblClickOpenDir = 0;
    in.clearHint = 0;
    in.autoMountPath = QDir::homePath() + QStringLiteral("/mounts");
    in.wimTempPath = QDir::homePath() + QStringLiteral("/wimtemp/");
    in.language = QStringLiteral("English");
    in.compressType = 4;
    SaveSettings(in);
    EXPECT_TRUE(QFileInfo(in.autoMountPath).isDir()) << "saving creates the mount base folder";

    ResetSettingsToDefaults(kAppDir);
    LoadSettings(kAppDir);
    const Settings& s = AppSettings();
    EXPECT_EQ(s.autoOpenPath, 0u);
    EXPECT_EQ(s.dblClickUnMountAll, 1u);
    EXPECT_EQ(s.dblClickUnMountImage, 0u);
    EXPECT_EQ(s.unMountAutoRunCmd, 1u);
    EXPECT_EQ(s.dblClickOpenDir, 0u);
    EXPECT_EQ(s.clearHint, 0u);
    EXPECT_EQ(s.autoMountPath, in.autoMountPath);
    EXPECT_EQ(s.wimTempPath, in.wimTempPath);
    EXPECT_EQ(s.language, QStringLiteral("English"));
    EXPECT_EQ(s.compressType, 4u);
}

TEST_F(SettingsTest, ReadRulesForStoredValues)
{
    struct Case {
        uint32_t stored;
        uint32_t expected;
    };
    for (Case c : {Case{9, 4}, Case{0, 0}, Case{4, 4}, Case{0x80000000u, 4}}) {
        WriteSettingNumber(QStringLiteral("CompressType"), c.stored);
        LoadSettings(kAppDir);
        EXPECT_EQ(AppSettings().compressType, c.expected) << "stored " << c.stored;
    }

    WriteSettingNumber(QStringLiteral("ClearHint"), 5);
    LoadSettings(kAppDir);
    EXPECT_NE(AppSettings().clearHint, 0u);
}

TEST_F(SettingsTest, PathsExpandEnvironmentAndLanguageDoesNot)
{
    ::setenv("KESTREL_T_BASE", "/data/wim", 1);
    WriteRegistryText(kKey, QStringLiteral("AutoMountPath"), QStringLiteral("%KESTREL_T_BASE%/mnt"));
    WriteRegistryText(kKey, QStringLiteral("WimTempPath"), QStringLiteral("%KESTREL_T_BASE%/tmp/"));
    WriteRegistryText(kKey, QStringLiteral("Language"), QStringLiteral("%KESTREL_T_BASE%"));
    LoadSettings(kAppDir);
    EXPECT_EQ(AppSettings().autoMountPath, QStringLiteral("/data/wim/mnt"));
    EXPECT_EQ(AppSettings().wimTempPath, QStringLiteral("/data/wim/tmp/"));
    EXPECT_EQ(AppSettings().language, QStringLiteral("%KESTREL_T_BASE%"));
}

TEST_F(SettingsTest, OverlongTextKeepsTheDefault)
{
    WriteRegistryText(kKey, QStringLiteral("AutoMountPath"), QString(511, u'a'));
    WriteRegistryText(kKey, QStringLiteral("WimTempPath"), QString(512, u'b'));
    LoadSettings(kAppDir);
    EXPECT_EQ(AppSettings().autoMountPath, QString(511, u'a'));
    EXPECT_EQ(AppSettings().wimTempPath, SystemTempPath());
}

TEST_F(SettingsTest, ValueOfTheWrongTypeGivesTheDefault)
{
    WriteRegistryText(kKey, QStringLiteral("CompressType"), QStringLiteral("1"));
    WriteSettingNumber(QStringLiteral("AutoMountPath"), 1);
    LoadSettings(kAppDir);
    EXPECT_EQ(AppSettings().compressType, 3u);
    EXPECT_EQ(AppSettings().autoMountPath, kAppDir + QStringLiteral("/MountPath"));
}

TEST_F(SettingsTest, DeleteSettingFallsBackToTheDefault)
{
    WriteSettingNumber(QStringLiteral("AutoOpenPath"), 0);
    DeleteSetting(QStringLiteral("AutoOpenPath"));
    EXPECT_EQ(ReadSettingNumber(QStringLiteral("AutoOpenPath"), 1), 1u);
}

} // namespace
