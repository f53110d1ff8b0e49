// SPDX-License-Identifier: GPL-3.0-or-later
// Small icon and program files for the icon reader's and the icon page's
// tests: ICO and CUR files, and PE files (32- and 64-bit) with icon groups
// in their resource section, their images DIBs of any depth or PNGs.
#pragma once

#include <QByteArray>
#include <QColor>

#include <vector>

// A square DIB icon image (header, palette, colour rows, mask rows) of one
// colour; the mask makes the top-left pixel transparent. For 1 to 8 bits the
// colour is the palette's last entry.
QByteArray MakeDibIconImage(int size, int bits, QColor colour);
// A square PNG of one colour.
QByteArray MakePngIconImage(int size, QColor colour);

struct IconImageSpec {
    int size;        // 256 is written as 0
    int bits;        // as the directory gives it
    QByteArray data; // MakeDibIconImage or MakePngIconImage
};
using IconGroupSpec = std::vector<IconImageSpec>;

// An ICO file (type 1) or a CUR file (type 2).
QByteArray MakeIcoFile(const IconGroupSpec& images, int type = 1);

// A PE file with one ".rsrc" section: RT_ICON entries numbered from 1 and one
// RT_GROUP_ICON entry per group, each with one language. The offsets let a
// test damage the file where it means to.
struct PeFixture {
    QByteArray bytes;
    int peHeader = 0;         // "PE\0\0"
    int resourceEntry = 0;    // the data directory entry of the resources (RVA, size)
    int sectionTable = 0;     // the one section header
    int rsrcStart = 0;        // the resource section's raw data
    int groupTypeEntry = 0;   // the root's RT_GROUP_ICON entry (id, target)
    int firstDataEntry = 0;   // the data entry of RT_ICON 1 (RVA, size, ...)
};
PeFixture MakePeFile(const std::vector<IconGroupSpec>& groups, bool pe64);
