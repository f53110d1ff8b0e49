// SPDX-License-Identifier: GPL-3.0-or-later
// What the image browser lists: the machine's drives, the entries of a disk
// folder, the images of an image file and the entries of a folder inside an
// image. Each listing is made in one pass into plain rows, with no widget, so
// that the page can make it on its worker and hand it to its model whole.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>
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
    // Drives, folders, images and the ".." row carry their type and icon
    // names; a file's come from its extension when it is shown
    // (FileTypeNames), so that listing a large folder does not look them up.
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

// The MIME database's type name and icon name of a file by its extension,
// each extension looked up once.
class FileTypeNames {
public:
    struct Type {
        QString comment;
        QString iconName;
    };
    const Type& of(const QString& fileName);

private:
    QHash<QString, Type> m_cache;
};

// A file time as a FILETIME (100 ns units since 1601, UTC); 0 for none.
uint64_t ToFileTime(const QDateTime& time);

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

// The same listing with the image kept loaded between listings: walking
// through the folders of one image reads its metadata once. The image is
// loaded again when another file or image is asked for, or when the file
// changed on disk (size or modification time). Not thread-safe: one thread
// at a time (the page's worker).
class ImageDirectoryReader {
public:
    ImageDirectoryReader();
    ~ImageDirectoryReader();
    ImageDirectoryReader(const ImageDirectoryReader&) = delete;
    ImageDirectoryReader& operator=(const ImageDirectoryReader&) = delete;

    BrowserListing list(const QString& imageFile, uint32_t image, const QString& dirPath, const QString& tempFolder);
    // Lets the file go (before it is changed, or when the user leaves it).
    void close();
    bool isOpen() const;

private:
    struct Open;
    std::unique_ptr<Open> m_open;
};

// "Image(k)", followed by ": " and the name when that is not empty.
QString ImageRowName(uint32_t image, const QString& name);
