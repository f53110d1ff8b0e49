// SPDX-License-Identifier: GPL-3.0-or-later
// "/Icon", "/WimTemp", "/MountPath", "/Register" and "/Unload".
#include "app/cli.h"
#include "app/cli_actions.h"

#include "common/settings.h"
#include "common/registry.h"
#include "shell/association.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>

namespace {

constexpr auto kThumbnailUriKey = "Thumb::URI";

// The source URI a freedesktop thumbnail records in its "Thumb::URI" text
// chunk; empty when the file is no PNG or has none. Only the chunk headers
// are walked, so a damaged file ends the walk instead of being read past.
QByteArray thumbnailSource(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    if (file.read(8) != signature)
        return {};
    for (int chunks = 0; chunks < 64; ++chunks) {
        const QByteArray header = file.read(8);
        if (header.size() != 8)
            return {};
        const quint32 length = (quint32(uchar(header[0])) << 24) | (quint32(uchar(header[1])) << 16)
            | (quint32(uchar(header[2])) << 8) | quint32(uchar(header[3]));
        const QByteArray type = header.mid(4, 4);
        if (type == "IDAT" || type == "IEND" || length > 65536)
            return {};
        const QByteArray data = file.read(length);
        if (quint32(data.size()) != length)
            return {};
        file.skip(4); // CRC
        if (type == "tEXt" || type == "iTXt") {
            const qsizetype zero = data.indexOf('\0');
            if (zero > 0 && data.left(zero) == kThumbnailUriKey) {
                QByteArray value = data.mid(zero + 1);
                if (type == "iTXt") {
                    // compression flag, method, language tag, translated keyword
                    value = value.mid(2);
                    for (int skip = 0; skip < 2; ++skip) {
                        const qsizetype end = value.indexOf('\0');
                        value = end < 0 ? QByteArray() : value.mid(end + 1);
                    }
                }
                return value;
            }
        }
    }
    return {};
}

bool isImageFileUri(const QByteArray& uri)
{
    const QByteArray lower = uri.toLower();
    return lower.endsWith(".wim") || lower.endsWith(".swm") || lower.endsWith(".esd");
}

} // namespace

int RebuildIconCache()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/thumbnails");
    int removed = 0;
    bool failed = false;
    QDirIterator it(cache, {QStringLiteral("*.png")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!isImageFileUri(thumbnailSource(path)))
            continue;
        if (QFile::remove(path))
            ++removed;
        else
            failed = true;
    }
    return failed ? -1 : removed;
}

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
