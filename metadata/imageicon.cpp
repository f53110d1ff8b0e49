// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata/imageicon.h"

#include "metadata/iconcodec.h"
#include "metadata/imagexml.h"
#include "metadata/mountsettings.h"
#include "metadata/xmlnodes.h"

#include <limits>

namespace {

QImage atSize(const QImage& picture, int size)
{
    if (picture.width() == size && picture.height() == size)
        return picture;
    return picture.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// Runs a change of image 1 on a file: open, load, change, close.
template <typename Change>
int changeFile(const QString& path, const QString& tempFolder, Change change)
{
    ImageXmlSession session(tempFolder);
    const ImageXmlSession::Stage stage = session.open(path, ImageXmlSession::Access::Change, 1);
    if (stage == ImageXmlSession::Stage::NotOpened || stage == ImageXmlSession::Stage::NoTemporaryPath ||
        stage == ImageXmlSession::Stage::NotLoaded)
        return kIconNotOpened;
    const int result = change(session.image());
    if (!session.closeImage() && result == kIconOk)
        return kIconNotStored;
    if (!session.closeFile() && result == kIconOk)
        return kIconNotStored;
    return result;
}

} // namespace

IMAGEICON ReadImageIcon(const QString& path, int largeSize, int smallSize)
{
    IMAGEICON icon;
    ImageXmlSession session;
    if (session.open(path, ImageXmlSession::Access::Read, 1) != ImageXmlSession::Stage::Ready)
        return icon;
    const pugi::xml_node element = session.imageElement().child(kPrivateElement).child("ICON");
    if (!element)
        return icon;
    icon.Found = true;
    const QString text = QString::fromUtf8(element.child_value());
    if (text.isEmpty())
        return icon;
    const std::optional<QByteArray> bytes = DecodeIconText(text);
    QImage picture;
    if (!bytes || !picture.loadFromData(*bytes) || picture.isNull())
        return icon;
    icon.Width = uint16_t(std::min(picture.width(), int(std::numeric_limits<uint16_t>::max())));
    if (largeSize > 0)
        icon.Large = atSize(picture, largeSize);
    if (smallSize > 0)
        icon.Small = smallSize == largeSize ? icon.Large : atSize(picture, smallSize);
    return icon;
}

int WriteImageIconXml(HANDLE image, const QString& encodedText)
{
    pugi::xml_document document;
    if (!FetchImageXml(image, document))
        return kIconNoXml;
    pugi::xml_node imageElement = FindImageElement(document);
    if (!imageElement)
        return kIconNoImage;
    pugi::xml_node element = imageElement.child(kPrivateElement);
    if (!element)
        element = imageElement.append_child(kPrivateElement);
    if (!element)
        return kIconNoPrivate;
    if (!SetChildText(element, "ICON", encodedText))
        return kIconNoIcon;
    return StoreImageXml(image, document) ? kIconOk : kIconNotStored;
}

int DeleteImageIconXml(HANDLE image)
{
    pugi::xml_document document;
    if (!FetchImageXml(image, document))
        return kIconNoXml;
    const pugi::xml_node imageElement = FindImageElement(document);
    if (!imageElement)
        return kIconNoImage;
    const pugi::xml_node element = imageElement.child(kPrivateElement);
    if (!element)
        return kIconNoPrivate;
    if (!RemoveChild(element, "ICON"))
        return kIconNoIcon;
    return StoreImageXml(image, document) ? kIconOk : kIconNotStored;
}

int WriteImageIcon(const QString& path, const QString& encodedText, const QString& tempFolder)
{
    return changeFile(path, tempFolder, [&](HANDLE image) { return WriteImageIconXml(image, encodedText); });
}

int DeleteImageIcon(const QString& path, const QString& tempFolder)
{
    return changeFile(path, tempFolder, [](HANDLE image) { return DeleteImageIconXml(image); });
}
