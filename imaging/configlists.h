// SPDX-License-Identifier: GPL-3.0-or-later
// The capture configuration lists as operations see them, the pattern
// matcher, and the three decisions the imaging callbacks make with them.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

class IniSectionTable;

// A pattern list: the keys of one configuration section in file order. An
// empty list is the missing list: it never matches, and the alignment
// decision leaves its flag alone.
using PatternList = QStringList;

// The four lists of an operation's task record. They are copies, so a new
// configuration applied while an operation runs cannot pull them away.
struct ConfigurationLists {
    PatternList AlignmentList;            // [AlignmentList]
    PatternList ExclusionList;            // [ExclusionList]
    PatternList ExclusionExceptionList;   // [ExclusionException]
    PatternList CompressionExclusionList; // [CompressionExclusionList]
};

// The lists of a configuration table (sections looked up ignoring case).
ConfigurationLists ConfigurationListsFromTable(const IniSectionTable& table);

// Fills the lists from the current configuration table, or empties all four
// when the page's "don't use the configuration" box is checked.
void FillConfigurationLists(bool withoutConfiguration, ConfigurationLists& lists);

// The root length of an operation: the characters of its root folder (the
// capture source or the apply target) after trailing "/" and "\" are removed.
// Patterns that start with a separator are matched against the path after
// this many characters, which is then the path below the root.
int RootLength(const QString& root);

// Whether one pattern matches a path: "?" is any one character, "*" any run
// (separators included); letters A-Z fold to a-z, and "\" equals "/". A
// pattern that starts with a separator is matched against the path without
// its first rootLength characters, any other against the whole path.
bool MatchPattern(QStringView pattern, int rootLength, QStringView path);
// Whether any pattern of the list matches, trying them in list order.
bool MatchPatternList(const PatternList& patterns, int rootLength, QStringView path);

// The process message (capture and apply): the new process flag. Exceptions
// keep the flag as it was; otherwise an exclusion clears it.
bool DecideProcess(const ConfigurationLists& lists, int rootLength, QStringView path, bool process);
// The compress message (capture): a compression exclusion clears the flag.
bool DecideCompress(const ConfigurationLists& lists, int rootLength, QStringView path, bool compress);
// The alignment message (capture): with an alignment list, only files on it
// keep their alignment request.
bool DecideAlign(const ConfigurationLists& lists, int rootLength, QStringView path, bool align);
