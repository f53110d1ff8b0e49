// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata/mountsettings.h"

#include "common/textutil.h"
#include "imaging/mountlist.h"
#include "metadata/imagexml.h"
#include "metadata/xmlnodes.h"

#include <QDir>
#include <QFileInfo>

#include <vector>

namespace {

struct FlagAttribute {
    const char* name;
    uint32_t MOUNTSETTINGS::*field;
};

// The order in which new attributes are appended.
constexpr FlagAttribute kFlags[] = {
    {"MOUNTRW", &MOUNTSETTINGS::MountRW},
    {"AUTOUNMOUNT", &MOUNTSETTINGS::AutoUnmount},
    {"COMMIT", &MOUNTSETTINGS::Commit},
    {"CLEARDIR", &MOUNTSETTINGS::ClearDir},
};

struct TextChild {
    const char* name;
    QString MOUNTSETTINGS::*field;
};

constexpr TextChild kTexts[] = {
    {"MOUNTPATH", &MOUNTSETTINGS::MountPath},
    {"MOUNTRUNCMD", &MOUNTSETTINGS::MountRunCmd},
    {"UNMOUNTRUNCMD", &MOUNTSETTINGS::UnmountRunCmd},
};

bool samePath(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    if (QDir::cleanPath(a) == QDir::cleanPath(b))
        return true;
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    return !canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath();
}

} // namespace

void ReadMountElement(pugi::xml_node image, uint32_t imageCount, MOUNTSETTINGS& settings)
{
    const pugi::xml_node element = image.child(kPrivateElement);
    if (!element)
        return;
    const pugi::xml_attribute id = element.attribute("MOUNTID");
    const int mountId = id ? id.as_int() : 1;
    settings.MountId = mountId < 0 ? 1u : uint32_t(mountId);
    if (imageCount > 0 && settings.MountId > imageCount)
        settings.MountId = imageCount;
    for (const FlagAttribute& flag : kFlags)
        settings.*flag.field = element.attribute(flag.name).as_bool(false) ? 1 : 0;
    for (const TextChild& child : kTexts) {
        const QString text = ChildText(element, child.name);
        if (!text.isEmpty())
            settings.*child.field = CutToUnits(text, kPathUnits);
    }
}

bool WriteMountElement(pugi::xml_node image, const MOUNTSETTINGS& settings)
{
    pugi::xml_node element = image.child(kPrivateElement);
    if (!element)
        element = image.append_child(kPrivateElement);
    if (!element || !SetAttributeNumber(element, "MOUNTID", settings.MountId))
        return false;
    for (const FlagAttribute& flag : kFlags) {
        if (!SetAttributeNumber(element, flag.name, settings.*flag.field ? 1 : 0))
            return false;
    }
    for (const TextChild& child : kTexts) {
        if (!SetChildText(element, child.name, CutToUnits(settings.*child.field, kPathUnits)))
            return false;
    }
    return true;
}

bool ClearMountElement(pugi::xml_node image)
{
    const pugi::xml_node element = image.child(kPrivateElement);
    if (!element)
        return false;
    RemoveAttribute(element, "MOUNTID");
    for (const FlagAttribute& flag : kFlags)
        RemoveAttribute(element, flag.name);
    for (const TextChild& child : kTexts)
        RemoveChild(element, child.name);
    return true;
}

uint32_t MountedImageIndex(const QString& path)
{
    for (const MountEntry& m : GetMountedImages()) {
        if (samePath(m.imagePath, path))
            return m.imageIndex;
    }
    return 0;
}

uint32_t ReadMountSettings(const QString& path, MOUNTSETTINGS& settings)
{
    settings = MOUNTSETTINGS{};
    settings.MountedIndex = MountedImageIndex(path);
    ImageXmlSession session;
    if (session.open(path, ImageXmlSession::Access::Read, 1) != ImageXmlSession::Stage::Ready)
        return settings.MountId;
    const uint32_t count = ImagingApi.WIMGetImageCount ? ImagingApi.WIMGetImageCount(session.file()) : 0;
    ReadMountElement(session.imageElement(), count, settings);
    return settings.MountId;
}

bool WriteMountSettings(const QString& path, const MOUNTSETTINGS& settings, const QString& tempFolder)
{
    ImageXmlSession session(tempFolder);
    if (session.open(path, ImageXmlSession::Access::Change, 1) != ImageXmlSession::Stage::Ready)
        return false;
    if (!WriteMountElement(session.imageElement(), settings) || !session.store())
        return false;
    session.closeImage();
    return session.closeFile();
}

bool ClearMountSettings(const QString& path, const QString& tempFolder)
{
    ImageXmlSession session(tempFolder);
    if (session.open(path, ImageXmlSession::Access::Change, 1) != ImageXmlSession::Stage::Ready)
        return false;
    if (!ClearMountElement(session.imageElement()))
        return true;
    if (!session.store())
        return false;
    session.closeImage();
    return session.closeFile();
}

bool StripPrivateElement(HANDLE wim)
{
    if (!wim || !ImagingApi.WIMGetImageCount || !ImagingApi.WIMLoadImage)
        return false;
    const DWORD last = ImagingApi.WIMGetImageCount(wim);
    if (last == 0)
        return false;
    WimHandle image(ImagingApi.WIMLoadImage(wim, last));
    pugi::xml_document document;
    if (!image || !FetchImageXml(image.get(), document))
        return false;
    const pugi::xml_node element = FindImageElement(document);
    if (!element)
        return false;
    if (!RemoveChild(element, kPrivateElement))
        return true;
    return StoreImageXml(image.get(), document);
}
