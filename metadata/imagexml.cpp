// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata/imagexml.h"

#include "metadata/imagefileinfo.h"
#include "metadata/xmlnodes.h"


#include <string_view>

bool FetchImageXml(HANDLE image, pugi::xml_document& document)
{
    if (!image || !ImagingApi.WIMGetImageInformation)
        return false;
    void* raw = nullptr;
    DWORD bytes = 0;
    const BOOL fetched = ImagingApi.WIMGetImageInformation(image, &raw, &bytes);
    const LayerText text(raw);
    return fetched && ParseLayerXml(document, text.get(), bytes);
}

pugi::xml_node FindImageElement(const pugi::xml_document& document)
{
    for (pugi::xml_node top = document.first_child(); top; top = top.next_sibling()) {
        if (top.type() == pugi::node_element && std::string_view(top.name()) == "IMAGE")
            return top;
    }
    return {};
}

bool StoreImageXml(HANDLE image, const pugi::xml_document& document)
{
    if (!image || !ImagingApi.WIMSetImageInformation)
        return false;
    const QString text = XmlToText(document);
    return ImagingApi.WIMSetImageInformation(image, text.utf16(), DWORD(text.size() * 2)) != FALSE;
}

ImageXmlSession::Stage ImageXmlSession::open(const QString& path, Access access, uint32_t index)
{
    m_file = access == Access::Change ? OpenImageFileReadWrite(path) : OpenImageFileRead(path);
    if (!m_file)
        return Stage::NotOpened;
    if (!SetTemporaryFolder(m_file.get(), m_tempFolder))
        return Stage::NoTemporaryPath;
    if (!ImagingApi.WIMLoadImage)
        return Stage::NotLoaded;
    m_image.reset(ImagingApi.WIMLoadImage(m_file.get(), index));
    if (!m_image)
        return Stage::NotLoaded;
    if (!FetchImageXml(m_image.get(), m_document))
        return Stage::NoXml;
    m_imageElement = FindImageElement(m_document);
    return m_imageElement ? Stage::Ready : Stage::NoImageElement;
}
