// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/settings.h"

#include "common/envexpand.h"
#include "common/registry.h"
#include "common/textutil.h"

#include <QDir>

namespace {

const QString kSubKey = QString::fromUtf16(kSettingsSubKey);

struct FlagValue {
    const char16_t* name;
    uint32_t Settings::*field;
};

constexpr FlagValue kFlags[] = {
    {u"AutoOpenPath", &Settings::autoOpenPath},
    {u"DblClickUnMountAll", &Settings::dblClickUnMountAll},
    {u"DblClickUnMountImage", &Settings::dblClickUnMountImage},
    {u"UnMountAutoRunCmd", &Settings::unMountAutoRunCmd},
    {u"DblClickOpenDir", &Settings::dblClickOpenDir},
    {u"ClearHint", &Settings::clearHint},
};

QString systemTemp;

std::optional<QString> readExpanded(const char16_t* name)
{
    std::optional<QString> raw = ReadRegistryText(kSubKey, QString::fromUtf16(name));
    if (!raw)
        return std::nullopt;
    return CutToUnits(ExpandEnvironmentText(*raw), kPathUnits);
}

} // namespace

Settings& AppSettings()
{
    static Settings record;
    return record;
}

QString SystemTempFolder()
{
    QString path = QDir::tempPath();
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

const QString& SystemTempPath()
{
    if (systemTemp.isEmpty())
        systemTemp = SystemTempFolder();
    return systemTemp;
}

void ResetSettingsToDefaults(const QString& appDir)
{
    Settings& s = AppSettings();
    for (const FlagValue& f : kFlags)
        s.*f.field = 1;
    s.autoMountPath = CutToUnits(appDir + QStringLiteral("/MountPath"), kPathUnits);
    systemTemp = SystemTempFolder();
    s.wimTempPath = systemTemp;
    s.compressType = 3;
}

void LoadSettings(const QString& appDir)
{
    ResetSettingsToDefaults(appDir);
    Settings& s = AppSettings();
    if (auto v = readExpanded(u"AutoMountPath"))
        s.autoMountPath = *v;
    if (auto v = readExpanded(u"WimTempPath"))
        s.wimTempPath = *v;
    if (auto v = ReadRegistryText(kSubKey, QStringLiteral("Language")))
        s.language = CutToUnits(*v, 256);
    s.compressType = std::min<uint32_t>(ReadSettingNumber(QStringLiteral("CompressType"), 3), 4);
    for (const FlagValue& f : kFlags)
        s.*f.field = ReadSettingNumber(QString::fromUtf16(f.name), 1);
}

uint32_t ReadSettingNumber(const QString& valueName, uint32_t defaultValue)
{
    return ReadRegistryNumber(kSubKey, valueName).value_or(defaultValue);
}

void WriteSettingNumber(const QString& valueName, uint32_t number)
{
    WriteRegistryNumber(kSubKey, valueName, number);
}

void DeleteSetting(const QString& valueName)
{
    DeleteRegistryValue(kSubKey, valueName);
}

void SaveSettings(const Settings& values)
{
    Settings s = values;
    s.autoMountPath = CutToUnits(s.autoMountPath, kPathUnits);
    s.wimTempPath = CutToUnits(s.wimTempPath, kPathUnits);
    for (const FlagValue& f : kFlags)
        s.*f.field = s.*f.field ? 1 : 0;
    if (!s.autoMountPath.isEmpty())
        QDir().mkpath(ExpandEnvironmentText(s.autoMountPath));

    WriteRegistryText(kSubKey, QStringLiteral("Language"), s.language);
    WriteRegistryText(kSubKey, QStringLiteral("AutoMountPath"), s.autoMountPath);
    WriteRegistryText(kSubKey, QStringLiteral("WimTempPath"), s.wimTempPath);
    for (const FlagValue& f : kFlags)
        WriteSettingNumber(QString::fromUtf16(f.name), s.*f.field);
    WriteSettingNumber(QStringLiteral("CompressType"), s.compressType);
    AppSettings() = s;
}
