// SPDX-License-Identifier: GPL-3.0-or-later
// The imaging layer the real-file tests run against, and small image files
// made with wimlib-imagex.
#pragma once

#include <QString>
#include <QStringList>
#include <pugixml.hpp>

// Loads libwimgapi.so from the build's output folder and fills ImagingApi;
// on destruction empties the table and unloads the library again.
class ImagingLayer {
public:
    ImagingLayer();
    ~ImagingLayer();
    ImagingLayer(const ImagingLayer&) = delete;
    ImagingLayer& operator=(const ImagingLayer&) = delete;

    bool loaded() const { return m_library != nullptr; }
    const QString& error() const { return m_error; }

private:
    void* m_library = nullptr;
    QString m_error;
};

// Runs a program to its end (at most two minutes); its exit code, or -1.
int RunProgram(const QString& program, const QStringList& args, QByteArray* output = nullptr);

// Runs wimlib-imagex with the arguments; its exit code (-1 when it did not
// run or end), its output in `output`.
int RunImagex(const QStringList& args, QByteArray* output = nullptr);

// Captures a small tree into `images` images named "Image 1", "Image 2", ...
// in a new file; false when wimlib-imagex fails.
bool MakeImageFile(const QString& path, int images = 1, const QStringList& extra = {});

// The whole XML of the file as `wimlib-imagex info --xml` prints it.
QString ImagexXml(const QString& path);

// The same XML parsed; the IMAGE element of image `index` (by INDEX), or an
// empty node.
bool ImagexDocument(const QString& path, pugi::xml_document& document);
pugi::xml_node ImagexImage(const pugi::xml_document& document, int index);

// The names of an element's attributes or child elements, in document order.
QStringList AttributeNames(pugi::xml_node node);
QStringList ChildNames(pugi::xml_node node);

// `wimlib-imagex verify` passes.
bool ImagexVerifies(const QString& path);
