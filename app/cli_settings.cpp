// SPDX-License-Identifier: GPL-3.0-or-later
// "/Icon", "/WimTemp", "/MountPath", "/Register" and "/Unload".
#include "app/cli.h"
#include "app/cli_actions.h"

#include "common/iconcache.h"
#include "common/settings.h"
#include "common/registry.h"
#include "shell/association.h"

#include <QDir>

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

CliResult RunShellIntegration(const QStringList& args, bool registering)
{
    // Without words, everything; else the parts the words name.
    const bool all = args.size() == 2;
    auto named = [&](const char* word) { return all || FindArgument(args, QLatin1String(word)) >= 2; };
    for (int i = 2; i < args.size(); ++i) {
        static const QStringList known = {QStringLiteral("Icon"), QStringLiteral("Memu"), QStringLiteral("Exec"),
                                          QStringLiteral("/MountPath"), QStringLiteral("/WimTemp")};
        const bool folderValue = i > 2 && registering &&
                                 (args.at(i - 1).compare(QStringLiteral("/MountPath"), Qt::CaseInsensitive) == 0 ||
                                  args.at(i - 1).compare(QStringLiteral("/WimTemp"), Qt::CaseInsensitive) == 0);
        if (!folderValue && !known.contains(args.at(i), Qt::CaseInsensitive))
            return CliResult::wrongArguments(QStringLiteral("unknown word: ") + args.at(i));
    }
    const ShellInstall install = RunningInstall();
    QStringList failures;
    const int flag = registering ? 1 : 0;
    if (named("Icon") || named("Memu")) {
        const ShellModuleHandle module(install.module());
        if (!ShellModuleFits(install.module()) || !module) {
            failures << QStringLiteral("the shell module %1 cannot be loaded%2")
                            .arg(install.module(), module.error().isEmpty() ? QString() : QStringLiteral(": ") + module.error());
        } else {
            if (named("Icon")) {
                const ShellModuleHandle::RegisterExport icon = module.registerExport("DllRegisterIconShExt");
                if (icon && icon(flag) == 0)
                    RebuildIconCache();
                else
                    failures << QStringLiteral("the icon handler");
            }
            if (named("Memu")) {
                const ShellModuleHandle::RegisterExport menu = module.registerExport("DllRegisterMenuShExt");
                if (!menu || menu(flag) != 0)
                    failures << QStringLiteral("the menu handler");
            }
        }
    }
    if (!registering) {
        if (named("/MountPath"))
            DeleteSetting(QStringLiteral("AutoMountPath"));
        if (named("/WimTemp"))
            DeleteSetting(QStringLiteral("WimTempPath"));
    } else if (!all) {
        const auto folderAfter = [&](const QString& option) {
            const int at = FindArgument(args, option);
            return at >= 2 && at + 1 < args.size() ? args.at(at + 1) : QString();
        };
        const QString mountBase = folderAfter(QStringLiteral("/MountPath"));
        if (!mountBase.isEmpty()) {
            if (!QDir().mkpath(mountBase))
                failures << QStringLiteral("the mount base folder ") + mountBase;
            else if (!WriteRegistryText(QString::fromUtf16(kSettingsSubKey), QStringLiteral("AutoMountPath"), mountBase))
                failures << QStringLiteral("the settings file ") + SettingsFilePath();
        }
        const QString temp = folderAfter(QStringLiteral("/WimTemp"));
        if (!temp.isEmpty() &&
            !WriteRegistryText(QString::fromUtf16(kSettingsSubKey), QStringLiteral("WimTempPath"), temp))
            failures << QStringLiteral("the settings file ") + SettingsFilePath();
    }
    if (named("Exec") && !SetFileAssociation(install, registering))
        failures << QStringLiteral("the file association");
    RebuildIconCache();
    if (!failures.isEmpty()) {
        return CliResult::failed((registering ? QStringLiteral("could not register: ")
                                              : QStringLiteral("could not remove: ")) +
                                 failures.join(QStringLiteral(", ")));
    }
    return CliResult::ok();
}
