// SPDX-License-Identifier: GPL-3.0-or-later
// The INI-like section parser shared by language files and capture
// configuration files, in three stages: the text split into lines, the lines
// without comments, and the lines grouped into sections of key/value entries.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// How texts are trimmed of blanks and tabs.
enum IniTrimMode : int {
    kIniTrimEnd = 0,  // the end only: leading blanks are kept (help texts centre titles with them)
    kIniTrimBoth = 1, // both ends
};

QString IniTrim(QStringView text, int trimMode);

// Stage 1. Lines end with CR, LF or CR LF. The text ends at its first zero
// character, as a zero-terminated buffer would, and a byte-order mark at its
// very start is skipped. A last line without line end is kept when non-empty.
class IniLines {
public:
    explicit IniLines(QStringView text);
    const QStringList& lines() const { return m_lines; }

private:
    QStringList m_lines;
};

// Stage 2. Each line is trimmed with the mode; a line starting with "//" or
// ";" is a comment and dropped; elsewhere "//" starts a comment to the end of
// the line; lines left empty are dropped.
class IniFilteredLines {
public:
    IniFilteredLines(const IniLines& lines, int trimMode);
    int trimMode() const { return m_trimMode; }
    const QStringList& lines() const { return m_lines; }

private:
    int m_trimMode;
    QStringList m_lines;
};

// One section: its header line as written ("[String_List]") and its entries.
// A value is a null QString when the line had no "=".
struct IniSection {
    QString header;
    QStringList keys;
    QStringList values;
    // The designed count: -1 while the section has no entries.
    int count() const { return keys.isEmpty() ? -1 : int(keys.size()); }
};

// Stage 3. Headers are lines that start with "[" and contain "]"; a header
// that repeats an earlier one (ignoring case) continues that section; lines
// before the first header are ignored. Keys and values are trimmed with the
// section trim mode.
class IniSectionTable {
public:
    explicit IniSectionTable(int sectionTrimMode = kIniTrimEnd) : m_sectionTrimMode(sectionTrimMode) {}

    int sectionTrimMode() const { return m_sectionTrimMode; }
    int lineTrimMode() const { return m_lineTrimMode; }
    const QList<IniSection>& sections() const { return m_sections; }

    // Adds the kept lines of stage 2 to the table.
    void addLines(const IniFilteredLines& lines);

    // Index of the section with this header (ignoring case), or -1.
    int indexOf(QStringView header) const;
    // The section with this header, or nullptr.
    const IniSection* find(QStringView header) const;
    // The keys of a section in file order; empty when it is missing.
    QStringList keys(QStringView header) const;

private:
    friend void ResetSectionTable(IniSectionTable& table, int sectionTrimMode);
    int m_sectionTrimMode;
    int m_lineTrimMode = kIniTrimEnd;
    QList<IniSection> m_sections;
};

// The three stages in order, added to what the table already holds.
void BuildSectionTable(IniSectionTable& table, QStringView text);

// Empties the table, sets its section trim mode and the line-filter mode 0.
void ResetSectionTable(IniSectionTable& table, int sectionTrimMode);

// Reads a key as a decimal integer the way the C library's atoi does: leading
// white space and one sign allowed, digits up to the first non-digit; a key
// that is not a number reads as 0. Saturates instead of overflowing.
int IniKeyNumber(QStringView key);
