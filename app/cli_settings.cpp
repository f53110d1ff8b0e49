// SPDX-License-Identifier: GPL-3.0-or-later
// "/Icon", "/WimTemp", "/MountPath", "/Register" and "/Unload".
#include "app/cli.h"
#include "app/cli_actions.h"

#include "common/iconcache.h"
#include "common/settings.h"
#include "common/registry.h"

CliResult RunIcon(const QStringList& args)
{
    // The thumbnail cache has no size setting, so a given size is checked
    // and otherwise has no effect.
    if (args.size() == 3) {
        bool ok = false;
        args.at(2).toUInt(&ok, 10);
        if (!ok)
            return CliResult::wrongArguments(QStringLiteral("the cache size is not a number: ") + args.at(2));
    }
    if (RebuildIconCache() < 0)
        return CliResult::failed(QStringLiteral("a cached thumbnail could not be removed"));
    return CliResult::ok();
}

CliResult RunWimTemp(const QStringList& args)
{
    AppSettings().wimTempPath = args.at(2);
    if (!WriteRegistryText(QString::fromUtf16(kSettingsSubKey), QStringLiteral("WimTempPath"), args.at(2)))
        return CliResult::failed(QStringLiteral("the settings file cannot be written: ") + SettingsFilePath());
    return CliResult::ok();
}

CliResult RunMountPath(const QStringList& args)
{
    if (!WriteRegistryText(QString::fromUtf16(kSettingsSubKey), QStringLiteral("AutoMountPath"), args.at(2)))
        return CliResult::failed(QStringLiteral("the settings file cannot be written: ") + SettingsFilePath());
    return CliResult::ok();
}

CliResult RunShellIntegration(const QStringList&, bool registering)
{
    return CliResult::failed(registering
                                 ? QStringLiteral("/Register takes effect with the shell integration, which this build does not have")
                                 : QStringLiteral("/Unload takes effect with the shell integration, which this build does not have"));
}
