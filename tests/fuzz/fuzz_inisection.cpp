// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the section parser, the language loader and the
// lookups that read its tables, and matches the parsed keys as patterns.
#include "common/inisection.h"
#include "common/language.h"
#include "imaging/configlists.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    // The parser on its own, both trim modes, on the text as UTF-16 units.
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
    for (const int mode : {kIniTrimEnd, kIniTrimBoth}) {
        IniSectionTable table;
        ResetSectionTable(table, mode);
        BuildSectionTable(table, text);
        for (const IniSection& section : table.sections()) {
            if (section.keys.size() != section.values.size())
                __builtin_trap();
            for (const QString& key : section.keys) {
                (void)IniKeyNumber(key);
                (void)MatchPatternList(section.keys, int(key.size() % 7), key);
            }
        }
    }

    // The whole loader, with and without a byte-order mark in front.
    if (LoadLanguageFromBytes(bytes)) {
        for (int n = -1; n < 400; n += 7)
            (void)GetLanguageString(n);
        for (int k = 0; k <= 9; ++k)
            (void)HelpText(k);
        (void)GetCompressTypeName(int(size % 6) - 1);
        QString hint;
        (void)SystemFlagEntries(&hint);
        (void)ProgramTitle();
        ConfigurationLists lists;
        FillConfigurationLists(false, lists);
        (void)DecideProcess(lists, 3, u"/r/pagefile.sys", true);
        (void)ConfigurationTableText();
    }
    QByteArray marked("\xFF\xFE", 2);
    marked.append(bytes);
    if (LoadLanguageFromBytes(marked))
        (void)GetLanguageString(int(size % 363));
    return 0;
}
