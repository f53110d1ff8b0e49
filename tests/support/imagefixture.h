// SPDX-License-Identifier: GPL-3.0-or-later
// Real image files for the tests, written with wimlib itself or with
// wimlib-imagex, the binding of the imaging layer the tests run against, and
// the cross-checks with wimlib-imagex. One fixture for every test binary
// that works on real files through the program's libraries.
#pragma once

#include "support/fusesupport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <pugixml.hpp>

// Fills ImagingApi from the imaging layer built beside the program; false
// (with the reason in `why`) when it is not there.
bool BindTestImagingLayer(QString* why);

// A small tree: a.txt, sub/b.txt, an empty folder and `randomFiles`
// incompressible files of `randomBytes` bytes each (r0.bin, r1.bin, ...).
void MakeSourceTree(const QString& folder, int randomFiles = 0, int randomBytes = 0);

// Captures `source` `images` times into a new file. `compression` is
// wimlib's type; LZMS writes a solid (ESD) file.
bool WriteImageFile(const QString& source, const QString& path, int compression, int images = 1);

// Splits `wim` into parts named like `firstPart` of at most `partBytes`
// bytes; returns the part names in order (empty on failure).
QStringList SplitImageFile(const QString& wim, const QString& firstPart, quint64 partBytes);

// The relative paths of every file and folder under `folder`, sorted.
QStringList ListTree(const QString& folder);

// Runs a program to the end (at most `timeoutMs`); its exit code, or -1.
// `output` gets standard output and standard error together.
int RunTool(const QString& program, const QStringList& args, int timeoutMs = 60000, QString* output = nullptr);

// Runs wimlib-imagex with the arguments; its exit code (-1 when it did not
// run or end), its standard output in `output`.
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
