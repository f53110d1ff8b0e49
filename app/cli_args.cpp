// SPDX-License-Identifier: GPL-3.0-or-later
// Argument conventions of the command line: options found anywhere but
// counted only from a minimum position, image references, compression.
#include "app/cli.h"

#include "metadata/imagefileinfo.h"

#include <array>

int FindArgument(const QStringList& args, const QString& text)
{
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i).compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return 0;
}

bool HasOption(const QStringList& args, const QString& option, int minimumPosition)
{
    return FindArgument(args, option) >= minimumPosition;
}

bool SplitAtLastComma(QString& path, QString& selector)
{
    const qsizetype comma = path.lastIndexOf(u',');
    if (comma < 0)
        return false;
    selector = path.mid(comma + 1);
    path.truncate(comma);
    return true;
}

uint32_t ParseImageReference(QString& path)
{
    return ParseImageReference(path, nullptr);
}

uint32_t ParseImageReference(QString& path, QString* unknownName)
{
    if (unknownName)
        unknownName->clear();
    QString selector;
    if (!SplitAtLastComma(path, selector))
        return 0;
    bool ok = false;
    const uint32_t number = selector.trimmed().toUInt(&ok, 10);
    if (ok && number != 0)
        return number;
    const uint32_t named = FindImageByName(path, selector);
    if (named == 0 && !ok && !selector.isEmpty() && unknownName)
        *unknownName = selector;
    return named;
}

uint32_t GetCompressOption(const QStringList& args)
{
    static const std::array<QString, 4> names = {QStringLiteral("None"), QStringLiteral("Xpress"),
                                                  QStringLiteral("Lzx"), QStringLiteral("Lzms")};
    const int at = FindArgument(args, QStringLiteral("/Compress"));
    if (at < 3 || at + 1 >= args.size())
        return 2;
    for (uint32_t i = 0; i < names.size(); ++i) {
        if (args.at(at + 1).compare(names[i], Qt::CaseInsensitive) == 0)
            return i;
    }
    return 2;
}

bool IsOptionWord(const QString& text)
{
    static const std::array<QString, 6> words = {QStringLiteral("/NotAcl"), QStringLiteral("/Compress"),
                                                  QStringLiteral("/Config"), QStringLiteral("/Boot"),
                                                  QStringLiteral("/Commit"), QStringLiteral("/Update")};
    for (const QString& word : words) {
        if (text.compare(word, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}
