// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and storing the XML of one image through an image handle: open
// the file, set the temporary folder, load the image, fetch and parse.
#pragma once

#include "imaging/wimhandle.h"

#include <QString>
#include <pugixml.hpp>

#include <cstdint>
#include <utility>

// Fetches and parses the XML of an open image; false when the layer gives
// none or it does not parse.
bool FetchImageXml(HANDLE image, pugi::xml_document& document);

// The first top-level element named exactly "IMAGE", or an empty node.
pugi::xml_node FindImageElement(const pugi::xml_document& document);

// Stores the document as the image's XML (XmlToText, its length in bytes).
bool StoreImageXml(HANDLE image, const pugi::xml_document& document);

// One image's XML, opened for reading or for a change. Members close in
// reverse order: image handle, then file handle.
class ImageXmlSession {
public:
    enum class Access { Read, Change };
    enum class Stage { NotOpened, NoTemporaryPath, NotLoaded, NoXml, NoImageElement, Ready };

    // `tempFolder` is the working folder the file gets (empty: the system's).
    explicit ImageXmlSession(QString tempFolder = QString()) : m_tempFolder(std::move(tempFolder)) {}

    // Runs the steps up to the IMAGE element; the result is the stage reached.
    Stage open(const QString& path, Access access, uint32_t index);

    HANDLE file() const { return m_file.get(); }
    HANDLE image() const { return m_image.get(); }
    pugi::xml_document& document() { return m_document; }
    pugi::xml_node imageElement() const { return m_imageElement; }
    bool store() { return StoreImageXml(m_image.get(), m_document); }
    // Close the image handle, then the file handle; false when either fails.
    bool closeImage() { return m_image.close(); }
    bool closeFile() { return m_file.close(); }

private:
    QString m_tempFolder;
    WimHandle m_file;
    WimHandle m_image;
    pugi::xml_document m_document;
    pugi::xml_node m_imageElement;
};
