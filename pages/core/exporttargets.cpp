// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/exporttargets.h"

#include "imaging/imagingapi.h"
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

int CollectMetadata(const wimlib_resource_entry* entry, void* user)
{
    if (entry->is_metadata) {
        ImageIdentity id;
        std::copy(std::begin(entry->sha1_hash), std::end(entry->sha1_hash), id.metadataHash.begin());
        static_cast<std::vector<ImageIdentity>*>(user)->push_back(id);
    }
    return 0;
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

std::optional<std::vector<ImageIdentity>> ReadImageIdentities(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return std::vector<ImageIdentity>{};
    const WimlibApiTable& w = WimlibApi;
    if (!w.wimlib_open_wim || !w.wimlib_iterate_lookup_table || !w.wimlib_get_image_property || !w.wimlib_free)
        return std::nullopt;
    WIMStruct* wim = nullptr;
    // Only the header, the XML and the blob table are read: the metadata
    // resources' hashes are in the blob table.
    if (w.wimlib_open_wim(QFile::encodeName(path).constData(), 0, &wim) != 0 || !wim)
        return std::nullopt;
    std::vector<ImageIdentity> ids;
    // wimlib lists the images' metadata resources first, in image order.
    const int ret = w.wimlib_iterate_lookup_table(wim, 0, CollectMetadata, &ids);
    for (size_t i = 0; ret == 0 && i < ids.size(); ++i) {
        const int image = int(i) + 1;
        const char* high = w.wimlib_get_image_property(wim, image, "CREATIONTIME/HIGHPART");
        const char* low = w.wimlib_get_image_property(wim, image, "CREATIONTIME/LOWPART");
        ids[i].creationTime = QString::fromUtf8(high ? high : "") + u'/' + QString::fromUtf8(low ? low : "");
    }
    w.wimlib_free(wim);
    if (ret != 0)
        return std::nullopt;
    return ids;
}
