// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/exporttargets.h"

#include "metadata/splitparts.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <algorithm>

namespace {

bool SameFile(const QString& a, const QString& b)
{
    const QFileInfo ia(a);
    const QFileInfo ib(b);
    if (!ia.exists() || !ib.exists())
        return false;
    if (ia.absoluteFilePath() == ib.absoluteFilePath() || ia.canonicalFilePath() == ib.canonicalFilePath())
        return true;
    struct stat sa {};
    struct stat sb {};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 || ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace

bool TargetIsSource(const QString& firstPart, uint32_t totalParts, const QString& target)
{
    if (target.isEmpty() || !QFileInfo::exists(target))
        return false;
    if (SameFile(firstPart, target))
        return true;
    for (uint32_t part = 2; part <= totalParts; ++part) {
        if (SameFile(SplitPartName(firstPart, part), target))
            return true;
    }
    return false;
}

bool SplitTargetHitsSource(const QString& source, const QString& target, uint32_t partCount)
{
    if (SameFile(source, target))
        return true;
    for (uint32_t part = 2; part <= partCount; ++part) {
        const QString name = SplitPartName(target, part);
        if (name.isEmpty())
            break;
        if (SameFile(source, name))
            return true;
    }
    return false;
}
