// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/textutil.h"

#include <algorithm>

namespace {
bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}
} // namespace

QString TrimBlanksStart(const QString& text)
{
    qsizetype b = 0;
    while (b < text.size() && isBlank(text.at(b)))
        ++b;
    return text.mid(b);
}

QString TrimBlanksEnd(const QString& text)
{
    qsizetype e = text.size();
    while (e > 0 && isBlank(text.at(e - 1)))
        --e;
    return text.left(e);
}

QString TrimBlanks(const QString& text)
{
    return TrimBlanksEnd(TrimBlanksStart(text));
}

QString CutToUnits(const QString& text, int units)
{
    if (units <= 0)
        return QString();
    return text.size() < units ? text : text.left(units - 1);
}

void CopyToUnits(char16_t* buffer, int units, const QString& text)
{
    if (!buffer || units <= 0)
        return;
    const qsizetype n = std::min<qsizetype>(text.size(), units - 1);
    std::copy_n(reinterpret_cast<const char16_t*>(text.utf16()), n, buffer);
    buffer[n] = u'\0';
}

QString FromUnits(const char16_t* buffer, int units)
{
    if (!buffer)
        return QString();
    int n = 0;
    while (n < units && buffer[n] != u'\0')
        ++n;
    return QString::fromUtf16(buffer, n);
}
