// SPDX-License-Identifier: GPL-3.0-or-later
// The icon page's work that needs no window: the icon sources (program and
// icon files, SVG files, pictures), the icon at a chosen size, the ICO and
// PNG forms it is saved and stored in, and the rules of the icon list.
#pragma once

#include "metadata/peicons.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>

// The ten edge lengths of the size list.
inline constexpr std::array<int, 10> kIconSizes = {16, 24, 32, 48, 64, 96, 128, 160, 200, 256};
// Pictures wider or taller than this are refused as icon sources.
inline constexpr int kMaxPictureEdge = 512;
// The icon list: ten cells a row after the row-number column, at least five rows.
inline constexpr int kIconColumns = 10;
inline constexpr int kIconMinRows = 5;
// The stored icon is read back at this edge; its preview draws it at the
// width the file stores, up to the box.
inline constexpr int kStoredIconReadEdge = 256;
// The largest ICO file IconToIcoBytes makes (256 x 256 at 32 bits and its mask fit).
inline constexpr int kMaxIcoBytes = 327680;

// The source picker's pattern; SVG is there too, as Linux programs ship
// their icons that way.
QString IconSourcePattern();
// The extensions of that pattern ("EXE", "DLL", ...), for drops.
QStringList IconSourceExtensions();

// Entry i of the size list: language string 212 and "[%u*%u]".
QString IconSizeText(int i);

// The icon index of a clicked cell (row from 0, column 0 being the row
// number): row * 10 + column - 1; -1 for the row-number column or beyond
// `count`.
int IconCellIndex(int row, int column, int count);
// Rows the list needs for `count` icons.
int IconListRows(int count);

struct IconPicture {
    QImage bitmap;         // 32-bit ARGB, pure white made transparent; null when none
    bool tooLarge = false; // a picture above kMaxPictureEdge in either direction
};

// A picture file (BMP, PNG, JPEG, GIF, TIFF, ...) read through Qt's image
// readers. Icon, cursor and SVG files are no pictures here: the icon reader
// and the SVG renderer give them at every size.
IconPicture LoadIconPicture(const QString& path);

// The icons of one source file.
class IconSource {
public:
    IconSource();
    ~IconSource();
    IconSource(const IconSource&) = delete;
    IconSource& operator=(const IconSource&) = delete;

    // LoadIconSource without the list: a picture is one icon, an SVG file
    // one, a program or icon file as many as it has groups. False, with an
    // empty source, when the file gives none; `tooLarge` tells whether it was
    // a picture above kMaxPictureEdge.
    bool load(const QString& path, bool* tooLarge = nullptr);
    void clear();

    const QString& path() const { return m_path; }
    int count() const { return m_count; }
    // Why a program or icon file gave no icon (kNone for other sources).
    IconFileError fileError() const { return m_fileError; }

    // MakeSourceIcon: icon `index` at `size` x `size`, 32-bit ARGB; null when
    // there is none.
    QImage icon(int size, int index) const;

private:
    enum class Kind { kNone, kPicture, kSvg, kFile };
    Kind m_kind = Kind::kNone;
    QString m_path;
    int m_count = 0;
    QImage m_picture;
    std::unique_ptr<IconFile> m_file;
    IconFileError m_fileError = IconFileError::kNone;
};

// A single-image ICO file of the icon: header, one directory entry (0 for an
// edge of 256), a BITMAPINFOHEADER with doubled height, the 32-bit colour
// rows and the 1-bit mask rows (set where the icon is transparent). Empty for
// a null icon or one above 256 pixels.
QByteArray IconToIcoBytes(const QImage& icon);

// The first image of an ICO file, as the icon reader decodes it (null when
// it does not).
QImage IcoBytesToImage(const QByteArray& ico);
// That image as a PNG file; empty when the ICO does not decode.
QByteArray IcoBytesToPng(const QByteArray& ico);
