// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/registry.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kKey = QString::fromUtf16(kSettingsSubKey);

TEST(Registry, FileLivesUnderXdgConfigHome)
{
    EXPECT_EQ(SettingsFilePath(), qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Kestrel/Kestrel.conf"));
}

TEST(Registry, ValuesKeepTheirType)
{
    ASSERT_TRUE(WriteRegistryText(kKey, QStringLiteral("TypedText"), QStringLiteral("12")));
    ASSERT_TRUE(WriteRegistryNumber(kKey, QStringLiteral("TypedNumber"), 0xFFFFFFFFu));

    EXPECT_EQ(ReadRegistryText(kKey, QStringLiteral("TypedText")), QStringLiteral("12"));
    EXPECT_EQ(ReadRegistryNumber(kKey, QStringLiteral("TypedNumber")), 0xFFFFFFFFu);
    // A value of the other type reads as missing.
    EXPECT_FALSE(ReadRegistryNumber(kKey, QStringLiteral("TypedText")));
    EXPECT_FALSE(ReadRegistryText(kKey, QStringLiteral("TypedNumber")));
    EXPECT_FALSE(ReadRegistryText(kKey, QStringLiteral("NoSuchValue")));
}

TEST(Registry, TextsKeepCommasQuotesAndNonAscii)
{
    const QString text = QStringLiteral("C:/镜像, \"quoted\"; = [x]");
    ASSERT_TRUE(WriteRegistryText(kKey, QStringLiteral("Odd"), text));
    EXPECT_EQ(ReadRegistryText(kKey, QStringLiteral("Odd")), text);
}

TEST(Registry, OtherSubKeysAreSeparateGroups)
{
    ASSERT_TRUE(WriteRegistryText(QStringLiteral("Software\\Classes\\WimFile"), QStringLiteral("Name"), QStringLiteral("a")));
    EXPECT_FALSE(ReadRegistryText(kKey, QStringLiteral("Name")));
    EXPECT_EQ(ReadRegistryText(QStringLiteral("Software\\Classes\\WimFile"), QStringLiteral("Name")), QStringLiteral("a"));
}

TEST(Registry, DeleteRemovesOnlyThatValue)
{
    WriteRegistryText(kKey, QStringLiteral("Gone"), QStringLiteral("1"));
    WriteRegistryText(kKey, QStringLiteral("Stays"), QStringLiteral("2"));
    EXPECT_TRUE(DeleteRegistryValue(kKey, QStringLiteral("Gone")));
    EXPECT_FALSE(ReadRegistryText(kKey, QStringLiteral("Gone")));
    EXPECT_EQ(ReadRegistryText(kKey, QStringLiteral("Stays")), QStringLiteral("2"));
    EXPECT_FALSE(DeleteRegistryValue(kKey, QStringLiteral("Gone")));
}

TEST(Registry, BrokenNumbersReadAsMissing)
{
    QDir().mkpath(QFileInfo(SettingsFilePath()).absolutePath());
    QFile f(SettingsFilePath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[General]\nA=dword:\nB=dword:123456789\nC=dword:xyz\nD=7\n");
    f.close();
    for (const char* name : {"A", "B", "C", "D"})
        EXPECT_FALSE(ReadRegistryNumber(kKey, QString::fromLatin1(name))) << name;
}

} // namespace
