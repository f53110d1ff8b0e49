// SPDX-License-Identifier: GPL-3.0-or-later
// The two configuration files a user may hand the program: a capture
// configuration file (read, applied as the table, shown in the editor and
// applied again, then used by the capture decisions) and the settings file
// (Kestrel.conf, read at start-up). The first half of the input is the one,
// the second half the other.
#include "common/inisection.h"
#include "common/language.h"
#include "common/registry.h"
#include "common/settings.h"
#include "common/textutil.h"
#include "imaging/configlists.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <stdlib.h>

// A broken promise of the reader under test is a finding like a crash.
#define check(ok) \
    ((ok) ? void() : (std::fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #ok), std::abort()))

namespace {


QString g_dir;

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char pattern[] = "/tmp/kestrel-fuzz-config-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    if (!dir)
        std::abort();
    g_dir = QString::fromLocal8Bit(dir);
    ::setenv("XDG_CONFIG_HOME", dir, 1);
    QDir().mkpath(g_dir + QStringLiteral("/Kestrel"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype half = bytes.indexOf(QByteArrayView("\n----\n"));
    const QByteArray capture = half < 0 ? bytes : bytes.first(half);
    const QByteArray settings = half < 0 ? bytes : bytes.sliced(half + 6);

    // The capture configuration file, through the editor's "Apply".
    const QString capturePath = g_dir + QStringLiteral("/config.ini");
    writeFile(capturePath, capture);
    QString text;
    check(ReadConfigurationFileText(capturePath, &text));
    SetConfigurationText(text);
    const QString shown = ConfigurationTableText();
    // What the editor shows applies to the table it shows (lines that are
    // only a value, "=x", have an empty key, which the editor's text drops:
    // so the second round, not the first, must give the same text).
    SetConfigurationText(shown);
    const QString again = ConfigurationTableText();
    SetConfigurationText(again);
    check(ConfigurationTableText() == again);
    ConfigurationLists lists;
    FillConfigurationLists(false, lists);
    const QString root = QStringLiteral("/src");
    const int rootLength = RootLength(root);
    for (const QString& path : {QStringLiteral("/src/pagefile.sys"), QStringLiteral("/src/a/b.wim"),
                                QStringLiteral("/src/System Volume Information/x")}) {
        (void)DecideProcess(lists, rootLength, path, true);
        (void)DecideCompress(lists, rootLength, path, true);
        (void)DecideAlign(lists, rootLength, path, true);
    }

    // The settings file, read as at start-up.
    writeFile(SettingsFilePath(), settings);
    LoadSettings(g_dir);
    const Settings& s = AppSettings();
    check(s.compressType <= 4 && s.language.size() <= 256);
    check(s.autoMountPath.size() <= kPathUnits && s.wimTempPath.size() <= kPathUnits);
    (void)ReadRegistryText(QStringLiteral("Software\\Kestrel\\Icons"), QStringLiteral("Path"));
    return 0;
}
