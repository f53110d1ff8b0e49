// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata/infobox.h"

#include "common/language.h"
#include "metadata/imageformat.h"

namespace {

QString splitText(const WIMFILEINFO& file)
{
    return GetLanguageString(23) + QStringLiteral("[%1/%2]").arg(file.PartNumber).arg(file.TotalParts);
}

void addWhenSet(QStringList& lines, int label, const QString& value)
{
    if (!value.isEmpty())
        lines << GetLanguageString(label) + value;
}

} // namespace

QStringList ShowImageFileSummary(const WIMFILEINFO& file)
{
    QStringList lines;
    lines << GetLanguageString(166);
    lines << QString(28, u'-');
    lines << GetLanguageString(167) + file.Path;
    lines << GetLanguageString(168) + QString::number(file.ImageCount);
    lines << GetLanguageString(96) + GetCompressTypeName(int(file.CompressionType));
    lines << GetLanguageString(169) + (file.TotalParts < 2 ? GetLanguageString(24) : splitText(file));
    lines << GetLanguageString(170) + (file.BootIndex == 0 ? GetLanguageString(171) : QString::number(file.BootIndex));
    lines << GetLanguageString(172) + FormatByteSize(file.TotalBytes);
    return lines;
}

QStringList ShowImageDetails(const WIMFILEINFO& file, std::span<const WIMIMAGEINFO> images, uint32_t index,
                             bool withCounts)
{
    if (index == 0)
        return ShowImageFileSummary(file);
    if (index > images.size())
        return {};
    const WIMIMAGEINFO& image = images[index - 1];
    QStringList lines;
    lines << GetLanguageString(75) + QString::number(index);
    addWhenSet(lines, 90, image.Name);
    addWhenSet(lines, 91, image.Description);
    lines << GetLanguageString(96) + GetCompressTypeName(int(file.CompressionType));
    addWhenSet(lines, 97, image.Flags);
    addWhenSet(lines, 297, image.ArchText);
    addWhenSet(lines, 298, image.VersionText);
    if (file.TotalParts > 1)
        lines << GetLanguageString(169) + splitText(file);
    lines << GetLanguageString(299) + image.SizeText;
    lines << GetLanguageString(174) + image.ModificationTimeText;
    addWhenSet(lines, 300, image.DefaultLanguage);
    if (withCounts) {
        lines << GetLanguageString(53) + image.FileCountText;
        lines << GetLanguageString(173) + image.DirCountText;
    }
    return lines;
}
