// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/configlists.h"

#include "common/inisection.h"
#include "common/language.h"

namespace {

bool isSeparator(QChar c)
{
    return c == u'\\' || c == u'/';
}

// Only the letters A to Z fold, so that matching does not depend on the
// locale's case rules.
char16_t fold(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'A' && u <= u'Z')
        return char16_t(u + (u'a' - u'A'));
    if (u == u'\\')
        return u'/';
    return u;
}

} // namespace

ConfigurationLists ConfigurationListsFromTable(const IniSectionTable& table)
{
    ConfigurationLists lists;
    lists.AlignmentList = table.keys(u"[AlignmentList]");
    lists.ExclusionList = table.keys(u"[ExclusionList]");
    lists.ExclusionExceptionList = table.keys(u"[ExclusionException]");
    lists.CompressionExclusionList = table.keys(u"[CompressionExclusionList]");
    return lists;
}

void FillConfigurationLists(bool withoutConfiguration, ConfigurationLists& lists)
{
    lists = withoutConfiguration ? ConfigurationLists{} : ConfigurationListsFromTable(ConfigurationTable());
}

int RootLength(const QString& root)
{
    qsizetype n = root.size();
    while (n > 0 && isSeparator(root[n - 1]))
        --n;
    return int(n);
}

bool MatchPattern(QStringView pattern, int rootLength, QStringView path)
{
    QStringView subject = path;
    if (!pattern.isEmpty() && isSeparator(pattern[0]))
        subject = rootLength <= 0 ? path : path.sliced(qMin(qsizetype(rootLength), path.size()));

    const qsizetype m = pattern.size();
    const qsizetype n = subject.size();
    qsizetype p = 0;
    qsizetype s = 0;
    qsizetype starP = -1; // pattern position after the most recent "*"
    qsizetype starS = 0;  // subject position that "*" was last tried from
    while (s < n) {
        if (p < m && pattern[p] == u'*') {
            if (p == m - 1)
                return true;
            starP = ++p;
            starS = s;
            continue;
        }
        if (p < m && (pattern[p] == u'?' || fold(pattern[p]) == fold(subject[s]))) {
            ++p;
            ++s;
            continue;
        }
        if (starP < 0)
            return false;
        s = ++starS;
        p = starP;
    }
    if (p < m && pattern[p] == u'*')
        ++p;
    return p == m;
}

bool MatchPatternList(const PatternList& patterns, int rootLength, QStringView path)
{
    for (const QString& pattern : patterns) {
        if (MatchPattern(pattern, rootLength, path))
            return true;
    }
    return false;
}

bool DecideProcess(const ConfigurationLists& lists, int rootLength, QStringView path, bool process)
{
    if (MatchPatternList(lists.ExclusionExceptionList, rootLength, path))
        return process;
    if (MatchPatternList(lists.ExclusionList, rootLength, path))
        return false;
    return process;
}

bool DecideCompress(const ConfigurationLists& lists, int rootLength, QStringView path, bool compress)
{
    return MatchPatternList(lists.CompressionExclusionList, rootLength, path) ? false : compress;
}

bool DecideAlign(const ConfigurationLists& lists, int rootLength, QStringView path, bool align)
{
    if (!lists.AlignmentList.isEmpty() && !MatchPatternList(lists.AlignmentList, rootLength, path))
        return false;
    return align;
}
