// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/inisection.h"

#include "common/textutil.h"

#include <limits>

QString IniTrim(QStringView text, int trimMode)
{
    const QString copy = text.toString();
    return trimMode == kIniTrimBoth ? TrimBlanks(copy) : TrimBlanksEnd(copy);
}

IniLines::IniLines(QStringView text)
{
    const qsizetype zero = text.indexOf(QChar(u'\0'));
    if (zero >= 0)
        text.truncate(zero);
    if (text.startsWith(QChar(0xFEFF)))
        text = text.sliced(1);

    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        m_lines.append(text.sliced(start, i - start).toString());
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        m_lines.append(text.sliced(start).toString());
}

IniFilteredLines::IniFilteredLines(const IniLines& lines, int trimMode) : m_trimMode(trimMode)
{
    for (const QString& raw : lines.lines()) {
        QString line = IniTrim(raw, trimMode);
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(QStringLiteral("//")))
            continue;
        const qsizetype comment = line.indexOf(QStringLiteral("//"));
        if (comment >= 0)
            line = IniTrim(QStringView(line).first(comment), trimMode);
        if (!line.isEmpty())
            m_lines.append(line);
    }
}

void IniSectionTable::addLines(const IniFilteredLines& lines)
{
    IniSection* current = nullptr;
    for (const QString& line : lines.lines()) {
        if (line.startsWith(u'[') && line.contains(u']')) {
            const int found = indexOf(line);
            if (found >= 0) {
                current = &m_sections[found];
            } else {
                m_sections.append(IniSection{line, {}, {}});
                current = &m_sections.last();
            }
            continue;
        }
        if (!current)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0) {
            current->keys.append(IniTrim(line, m_sectionTrimMode));
            current->values.append(QString());
        } else {
            current->keys.append(IniTrim(QStringView(line).first(eq), m_sectionTrimMode));
            QString value = IniTrim(QStringView(line).sliced(eq + 1), m_sectionTrimMode);
            // An empty value after "=" is still a value, unlike a line without "=".
            if (value.isNull())
                value = QStringLiteral("");
            current->values.append(value);
        }
    }
}

int IniSectionTable::indexOf(QStringView header) const
{
    for (qsizetype i = 0; i < m_sections.size(); ++i) {
        if (QStringView(m_sections[i].header).compare(header, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

const IniSection* IniSectionTable::find(QStringView header) const
{
    const int i = indexOf(header);
    return i < 0 ? nullptr : &m_sections[i];
}

QStringList IniSectionTable::keys(QStringView header) const
{
    const IniSection* section = find(header);
    return section ? section->keys : QStringList();
}

void BuildSectionTable(IniSectionTable& table, QStringView text)
{
    const IniLines lines(text);
    const IniFilteredLines kept(lines, table.lineTrimMode());
    table.addLines(kept);
}

void ResetSectionTable(IniSectionTable& table, int sectionTrimMode)
{
    table.m_sections.clear();
    table.m_sectionTrimMode = sectionTrimMode;
    table.m_lineTrimMode = kIniTrimEnd;
}

int IniKeyNumber(QStringView key)
{
    qsizetype i = 0;
    const qsizetype n = key.size();
    while (i < n && (key[i] == u' ' || (key[i] >= u'\t' && key[i] <= u'\r')))
        ++i;
    bool negative = false;
    if (i < n && (key[i] == u'+' || key[i] == u'-')) {
        negative = key[i] == u'-';
        ++i;
    }
    long long number = 0;
    constexpr long long limit = std::numeric_limits<int>::max();
    for (; i < n && key[i] >= u'0' && key[i] <= u'9'; ++i) {
        number = number * 10 + (key[i].unicode() - u'0');
        if (number > limit + 1)
            number = limit + 1;
    }
    if (negative)
        return number > limit ? std::numeric_limits<int>::min() : int(-number);
    return number > limit ? int(limit) : int(number);
}
