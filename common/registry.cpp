// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/registry.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringView>

namespace {

constexpr int kTextUnits = 512; // 1,024 bytes with the terminator
constexpr QStringView kNumberPrefix = u"dword:";

QString keyFor(const QString& subKey, const QString& valueName)
{
    if (subKey.compare(QStringView(kSettingsSubKey), Qt::CaseInsensitive) == 0)
        return valueName;
    QString group = subKey;
    group.replace(u'\\', u'/');
    return group + u'/' + valueName;
}

std::optional<QString> readRaw(const QString& subKey, const QString& valueName)
{
    const QString path = SettingsFilePath();
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QSettings store(path, QSettings::IniFormat);
    const QVariant v = store.value(keyFor(subKey, valueName));
    if (!v.isValid())
        return std::nullopt;
    // QSettings hands a value holding a comma back as a list; a stored text is one value.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(u", ");
    return v.toString();
}

bool isNumberText(const QString& raw)
{
    return raw.startsWith(kNumberPrefix);
}

bool finish(QSettings& store)
{
    store.sync();
    return store.status() == QSettings::NoError;
}

} // namespace

QString SettingsFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Kestrel/Kestrel.conf");
}

std::optional<QString> ReadRegistryText(const QString& subKey, const QString& valueName)
{
    std::optional<QString> raw = readRaw(subKey, valueName);
    if (!raw || isNumberText(*raw) || raw->size() >= kTextUnits)
        return std::nullopt;
    return raw;
}

std::optional<uint32_t> ReadRegistryNumber(const QString& subKey, const QString& valueName)
{
    std::optional<QString> raw = readRaw(subKey, valueName);
    if (!raw || !isNumberText(*raw))
        return std::nullopt;
    const QString digits = raw->mid(kNumberPrefix.size());
    if (digits.isEmpty() || digits.size() > 8)
        return std::nullopt;
    bool ok = false;
    const uint value = digits.toUInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

bool WriteRegistryText(const QString& subKey, const QString& valueName, const QString& text)
{
    QSettings store(SettingsFilePath(), QSettings::IniFormat);
    store.setValue(keyFor(subKey, valueName), text);
    return finish(store);
}

bool WriteRegistryNumber(const QString& subKey, const QString& valueName, uint32_t number)
{
    QSettings store(SettingsFilePath(), QSettings::IniFormat);
    store.setValue(keyFor(subKey, valueName),
                   kNumberPrefix.toString() + QStringLiteral("%1").arg(number, 8, 16, QChar(u'0')));
    return finish(store);
}

bool DeleteRegistryValue(const QString& subKey, const QString& valueName)
{
    const QString path = SettingsFilePath();
    if (!QFileInfo(path).isFile())
        return false;
    QSettings store(path, QSettings::IniFormat);
    const QString key = keyFor(subKey, valueName);
    if (!store.contains(key))
        return false;
    store.remove(key);
    return finish(store);
}
