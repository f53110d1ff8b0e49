// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata/imagefileinfo.h"

#include "common/textutil.h"
#include "metadata/imageformat.h"
#include "imaging/wimhandle.h"
#include "metadata/xmlnodes.h"

#include <pugixml.hpp>

#include <limits>
#include <string_view>
#include <vector>

namespace {


uint32_t toU32(uint64_t value)
{
    return value > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max() : uint32_t(value);
}

// An element that is present sets the field, even to the empty text; an
// absent one leaves it as it was.
void takeText(pugi::xml_node parent, const char* name, QString& field, int capacity)
{
    const pugi::xml_node child = parent.child(name);
    if (child)
        field = CutToUnits(QString::fromUtf8(child.child_value()), capacity);
}

QString joinVersion(pugi::xml_node version)
{
    QString text;
    for (pugi::xml_node part = version.first_child(); part; part = part.next_sibling()) {
        if (part.type() != pugi::node_element)
            continue;
        text += QString::fromUtf8(part.child_value()) + u'.';
    }
    text.chop(1);
    return text;
}

void readWindows(pugi::xml_node windows, WIMIMAGEINFO& image)
{
    if (const pugi::xml_node arch = windows.child("ARCH")) {
        const bool x64 = ParseDecimal(arch.child_value()) == 9;
        image.ArchText = QStringLiteral("Windows ") + (x64 ? QStringLiteral("x64") : QStringLiteral("x86"));
    }
    if (const pugi::xml_node version = windows.child("VERSION"))
        image.VersionText = CutToUnits(joinVersion(version), kInfoSmallUnits);
    if (const pugi::xml_node languages = windows.child("LANGUAGES")) {
        const pugi::xml_node chosen = languages.child("DEFAULT") ? languages.child("DEFAULT") : languages.child("LANGUAGE");
        if (chosen)
            image.DefaultLanguage = CutToUnits(QString::fromUtf8(chosen.child_value()), kInfoSmallUnits);
    }
}

void readImage(pugi::xml_node node, WIMIMAGEINFO& image)
{
    takeText(node, "NAME", image.Name, kInfoPathUnits);
    takeText(node, "DESCRIPTION", image.Description, kInfoPathUnits);
    takeText(node, "DISPLAYNAME", image.DisplayName, kInfoPathUnits);
    takeText(node, "DISPLAYDESCRIPTION", image.DisplayDescription, kInfoPathUnits);
    takeText(node, "FLAGS", image.Flags, kInfoSmallUnits);
    if (const pugi::xml_node size = node.child("TOTALBYTES"))
        image.SizeText = FormatByteSize(ParseDecimal(size.child_value()));
    if (const pugi::xml_node dirs = node.child("DIRCOUNT")) {
        image.DirCountText = CutToUnits(QString::fromUtf8(dirs.child_value()), kInfoSmallUnits);
        image.DirCount = toU32(ParseDecimal(dirs.child_value()));
    }
    if (const pugi::xml_node files = node.child("FILECOUNT")) {
        image.FileCountText = CutToUnits(QString::fromUtf8(files.child_value()), kInfoSmallUnits);
        image.FileCount = toU32(ParseDecimal(files.child_value()));
    }
    if (const pugi::xml_node created = node.child("CREATIONTIME"))
        image.CreationTimeText = CutToUnits(FormatImageTime(created), kInfoSmallUnits);
    if (const pugi::xml_node modified = node.child("LASTMODIFICATIONTIME"))
        image.ModificationTimeText = CutToUnits(FormatImageTime(modified), kInfoSmallUnits);
    if (const pugi::xml_node windows = node.child("WINDOWS"))
        readWindows(windows, image);
}

} // namespace

std::optional<WIM_INFO> GetImageFileAttributes(HANDLE wim)
{
    if (!wim || !ImagingApi.WIMGetAttributes)
        return std::nullopt;
    WIM_INFO info{};
    if (!ImagingApi.WIMGetAttributes(wim, &info, sizeof info))
        return std::nullopt;
    return info;
}

uint32_t GetImageFileInfo(const QString& path, WIMFILEINFO& info)
{
    info = WIMFILEINFO{};
    std::optional<WIM_INFO> attributes;
    {
        WimHandle wim(OpenImageFileRead(path));
        if (!wim)
            return 0;
        attributes = GetImageFileAttributes(wim.get());
    }
    if (!attributes)
        return 0;
    info.Path = FromUnits(attributes->WimPath, WIM_MAX_PATH);
    info.BootIndex = attributes->BootIndex;
    info.PartNumber = attributes->PartNumber;
    info.TotalParts = attributes->TotalParts;
    info.ImageCount = attributes->ImageCount;
    info.CompressionType = attributes->CompressionType;
    return info.ImageCount;
}

bool ParseImageInfoXml(const void* text, size_t bytes, WIMFILEINFO& info, std::span<WIMIMAGEINFO> images)
{
    pugi::xml_document document;
    if (!ParseLayerXml(document, text, bytes))
        return false;
    pugi::xml_node wim;
    for (pugi::xml_node top = document.first_child(); top && !wim; top = top.next_sibling()) {
        if (top.type() == pugi::node_element && std::string_view(top.name()) == "WIM")
            wim = top;
    }
    if (!wim)
        return false;
    if (const pugi::xml_node total = wim.child("TOTALBYTES"))
        info.TotalBytes = ParseDecimal(total.child_value());
    for (pugi::xml_node image = wim.child("IMAGE"); image; image = image.next_sibling("IMAGE")) {
        const uint64_t index = ParseDecimal(image.attribute("INDEX").value());
        if (index == 0 || index > images.size())
            continue;
        readImage(image, images[index - 1]);
    }
    return true;
}

bool ReadImageInfo(const QString& path, WIMFILEINFO& info, std::span<WIMIMAGEINFO> images)
{
    if (!ImagingApi.WIMGetImageInformation)
        return false;
    void* raw = nullptr;
    DWORD bytes = 0;
    BOOL fetched = FALSE;
    {
        WimHandle wim(OpenImageFileRead(path));
        if (!wim)
            return false;
        fetched = ImagingApi.WIMGetImageInformation(wim.get(), &raw, &bytes);
    }
    const LayerText text(raw);
    return fetched && ParseImageInfoXml(text.get(), bytes, info, images);
}

uint32_t GetImageFileCompression(const QString& path)
{
    WimHandle wim(OpenImageFileRead(path));
    const std::optional<WIM_INFO> attributes = GetImageFileAttributes(wim.get());
    return attributes ? attributes->CompressionType : WIM_COMPRESS_LZX;
}

uint32_t FindImageByName(const QString& path, const QString& name)
{
    WIMFILEINFO info;
    const uint32_t count = GetImageFileInfo(path, info);
    if (count == 0)
        return 0;
    std::vector<WIMIMAGEINFO> images(count);
    if (!ReadImageInfo(path, info, images))
        return 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (images[i].Name == name)
            return i + 1;
    }
    return 0;
}
