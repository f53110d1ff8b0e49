// SPDX-License-Identifier: GPL-3.0-or-later
// What the image browser lists: the machine's drives, the entries of a disk
// folder, the images of an image file and the entries of a folder inside an
// image. Each listing is made in one pass into plain rows, with no widget, so
// that the page can make it on its worker and hand it to its model whole.
#pragma once

#include <QImage>
#include <QString>

#include <cstdint>
#include <vector>

// The row's kind, as the list's hidden column shows it.
enum BrowserRowKind : int {
    kRowDriveOrParent = 0, // a drive of the drive list, or the ".." row
    kRowFolder = 1,        // a folder, or an image of the image list
    kRowFile = 2,
    kRowImageFile = 3,     // a file named *.wim, *.esd or *.swm (any case)
};

struct BrowserRow {
    QString name;
    QString typeName;
    QString path;         // drive rows: the mount point ("/", "/media/usb")
    QString iconName;     // the icon theme's name for the row's type
    // Texts given as they stand (the image list's sizes and times); when
    // empty the numbers below are shown instead.
    QString sizeText;
    QString createdText;
    QString modifiedText;
    uint64_t size = 0;
    uint64_t created = 0;  // FILETIME (100 ns since 1601, UTC); 0: none
    uint64_t modified = 0;
    bool showSize = false;  // folders and rows inside an image show none
    QImage ownIcon;        // an image file's own icon, when asked for
    int kind = kRowFile;
};

struct BrowserListing {
    std::vector<BrowserRow> rows;
    // False when the folder, file or image could not be read: only the ".."
    // row stands then.
    bool ok = true;
};

// Whether the name ends in ".wim", ".esd" or ".swm", case ignored.
bool IsImageFileName(const QString& name);

// The ".." row: kind 0, type "上级目录".
BrowserRow ParentRow();

// The mounted file systems that hold user data, the root first; pseudo file
// systems (proc, sysfs, tmpfs, overlay, ...) and the system's own mounts
// below /proc, /sys, /dev and /run are left out, the root never.
BrowserListing ListDrives();

// The ".." row, then the folders, then the other entries of `folder`, by
// name. With `imageIcons` every image file's own icon is read as well.
BrowserListing ListFolder(const QString& folder, bool imageIcons);

// The ".." row and one row per image: "Image(k)" or "Image(k): name".
BrowserListing ListImages(const QString& imageFile);

// The ".." row, then the folders, then the files of `dirPath` inside image
// `image` ("" for the root, else "\name\name"), through the imaging layer.
// `tempFolder` is the layer's working folder (empty: the system's).
BrowserListing ListImageDirectory(const QString& imageFile, uint32_t image, const QString& dirPath,
                                  const QString& tempFolder);

// "Image(k)", followed by ": " and the name when that is not empty.
QString ImageRowName(uint32_t image, const QString& name);
