// SPDX-License-Identifier: GPL-3.0-or-later
// The icon an image file shows in a file manager: the picture kept in the
// private element of image 1, read with a cap on every size, or the
// program's own image-file icon.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// The caps that keep a damaged or hostile file from costing more than a
// real one could: the XML resource, the icon text and the picture.
inline constexpr qint64 kMaxShellXmlBytes = 16 * 1024 * 1024;
inline constexpr qsizetype kMaxIconTextChars = 2 * 1024 * 1024;
inline constexpr int kMaxIconEdge = 1024;

enum class ShellIconSource : int {
    Image = 1,      // the picture stored in the file
    NoIcon = 0,     // the file is readable and stores none
    Unreadable = -1 // the file could not be read as an image file
};

struct ShellIconPair {
    ShellIconSource source = ShellIconSource::Unreadable;
    QImage large; // null when not asked for or none stored
    QImage small;
};

// Whether the first bytes of a file are an image file header whose XML and
// lookup table stay within what a file manager's process takes on. The
// imaging layer reads both whole on opening, so this runs first; whether they
// lie inside the file is the layer's own check when it opens the file.
bool ImageFileWithinShellCaps(const QByteArray& header);

// The encoded icon of image 1 in the file's whole XML text: the text between
// "<ICON>" and "</ICON>" after "<KESTREL" inside the IMAGE element of index
// 1; empty when any of them is missing, or the text is longer than the cap.
QString FindIconText(const QString& xml);

// The picture of a PNG file's bytes, refused (null) beyond kMaxIconEdge
// pixels on a side.
QImage DecodeIconPicture(const QByteArray& png);

// The picture at edge x edge: unscaled when its width already is the edge,
// else drawn smoothly to that square. A null image for edge 0.
QImage IconAtEdge(const QImage& picture, int edge);

// Reads the icon of image 1 of the file at the two edges (0 = not wanted).
ShellIconPair ReadIconForShell(const QString& path, int largeEdge, int smallEdge);

// The program's own icon for image files, drawn at edge x edge.
QImage ProgramImageFileIcon(int edge);
