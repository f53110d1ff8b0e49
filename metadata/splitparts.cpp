// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata/splitparts.h"

#include "common/textutil.h"

#include "metadata/imagefileinfo.h"

#include <QFileInfo>

#include <cerrno>

namespace {

// Position of the extension's "." in the file name part of path, -1 if none.
qsizetype extensionDot(const QString& path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot > path.lastIndexOf(u'/') ? dot : -1;
}

} // namespace

// Parts are named as wimlib names them: the part number goes before the
// extension's dot, or at the end of a name without one.
QString SplitPartName(const QString& firstPath, uint32_t part)
{
    const qsizetype dot = extensionDot(firstPath);
    if (dot < 0)
        return firstPath + QString::number(part);
    return firstPath.left(dot) + QString::number(part) + firstPath.mid(dot);
}

bool FirstSplitPartName(QString& path, uint32_t partNumber, QString* expected)
{
    if (partNumber <= 1)
        return true;
    const qsizetype dot = extensionDot(path) < 0 ? path.size() : extensionDot(path);
    const QString base = path.left(dot);
    const QString digits = QString::number(partNumber);
    if (!base.endsWith(digits) || base.size() == digits.size() || base.at(base.size() - digits.size() - 1) == u'/')
        return false;
    const QString first = base.left(base.size() - digits.size()) + path.mid(dot);
    if (expected)
        *expected = first;
    if (!QFileInfo(first).isFile())
        return false;
    WIMFILEINFO info;
    if (GetImageFileInfo(first, info) == 0 || info.PartNumber != 1)
        return false;
    path = first;
    return true;
}

QString MissingSplitPartName(const QString& firstPath, uint32_t totalParts)
{
    for (uint32_t part = 2; part <= totalParts; ++part) {
        const QString name = SplitPartName(firstPath, part);
        if (!QFileInfo(name).isFile())
            return name;
    }
    return QString();
}

BOOL ReferenceSplitParts(HANDLE wim, const QString& firstPath, uint32_t totalParts, QString* missingPart)
{
    if (!ImagingApi.WIMSetReferenceFile)
        return FALSE;
    if (const QString missing = MissingSplitPartName(firstPath, totalParts); !missing.isEmpty()) {
        if (missingPart)
            *missingPart = missing;
        errno = ENOENT;
        return FALSE;
    }
    for (uint32_t part = 2; part <= totalParts; ++part) {
        if (!ImagingApi.WIMSetReferenceFile(wim, Utf16(SplitPartName(firstPath, part)), WIM_REFERENCE_APPEND))
            return FALSE;
    }
    return totalParts >= 2;
}
