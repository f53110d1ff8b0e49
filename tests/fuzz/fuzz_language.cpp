// SPDX-License-Identifier: GPL-3.0-or-later
// A language file end to end: installed in the "Languages" folder, chosen in
// the settings and loaded as the program loads it (byte-order mark or the
// locale's encoding, the capture configuration before "[System_Flag]", the
// sections in any order). Every text the program takes from the tables is
// read, and the strings must not depend on which file was loaded before.
#include "common/appdirectory.h"
#include "common/language.h"
#include "common/settings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <stdlib.h>

// A broken promise of the reader under test is a finding like a crash.
#define check(ok) \
    ((ok) ? void() : (std::fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #ok), std::abort()))

namespace {


QString g_dir;

// Two earlier files whose "[String_List]" stands at different places.
const QByteArray kFirst = "[System_Flag]\r\n[String_List]\r\n1=a\r\n";
const QByteArray kOther = "[System_Flag]\r\n[A]\r\n[B]\r\n[C]\r\n[String_List]\r\n1=b\r\n";

std::vector<QString> allStrings()
{
    std::vector<QString> out;
    for (int n = -2; n < 420; ++n)
        out.push_back(GetLanguageString(n));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char pattern[] = "/tmp/kestrel-fuzz-language-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    if (!dir)
        std::abort();
    g_dir = QString::fromLocal8Bit(dir);
    ::setenv("XDG_CONFIG_HOME", dir, 1);
    QDir().mkpath(g_dir + QStringLiteral("/Languages"));
    SetApplicationDirectory(g_dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile file(g_dir + QStringLiteral("/Languages/Fuzz.ini"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            std::abort();
    }
    check(LanguageFileNames().contains(QStringLiteral("Fuzz")));
    check(!LanguageFilePath(QStringLiteral("Fuzz")).isEmpty());

    // Through the settings, as at start-up.
    check(LoadLanguageFromBytes(kFirst));
    AppSettings().language = QStringLiteral("Fuzz");
    LoadLanguage();
    const std::vector<QString> afterFirst = allStrings();
    for (int k = 0; k <= 10; ++k)
        (void)HelpText(k);
    for (int b = -1; b <= 3; ++b)
        (void)ConfirmButtonLabel(b);
    for (int t = -1; t <= 5; ++t)
        (void)GetCompressTypeName(t);
    (void)CompressTypeNames();
    QString hint;
    (void)SystemFlagEntries(&hint);
    (void)SectionListEntries(QStringLiteral("[Compress_Type]"), 2);
    (void)ProgramTitle();
    (void)InterfaceLocale();
    (void)ConfigurationTableText();
    (void)DefaultConfigurationText();
    (void)LanguageForLocale(QStringLiteral("en_US.UTF-8"), {{QStringLiteral("Fuzz"), InterfaceLocale()}});

    // The same file after another one: the same strings.
    check(LoadLanguageFromBytes(kOther));
    const bool loaded = LoadLanguageFromFile(g_dir + QStringLiteral("/Languages/Fuzz.ini"));
    if (loaded)
        check(allStrings() == afterFirst);

    // The built-in source, which needs no "[System_Flag]".
    static QByteArray builtIn;
    builtIn = bytes;
    SetBuiltInLanguageSource([] { return builtIn; });
    LoadBuiltInLanguage();
    (void)BuiltInLanguageName();
    (void)GetLanguageString(int(size % 400));
    return 0;
}
