// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/iconcache.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {

// A thumbnail as file managers write it: a PNG whose "Thumb::URI" text chunk
// names its source (the reader stops before any picture data).
QByteArray thumbnail(const QByteArray& uri, bool compressed = false)
{
    // zTXt: keyword, method 0, zlib data (qCompress puts a length first).
    const QByteArray text = QByteArray("Thumb::URI") + '\0' + (compressed ? '\0' + qCompress(uri).mid(4) : uri);
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    auto chunk = [&png](const QByteArray& type, const QByteArray& data) {
        const quint32 n = quint32(data.size());
        png.append(char(n >> 24)).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
        png.append(type).append(data).append(QByteArray(4, '\0'));
    };
    chunk("IHDR", QByteArray(13, '\1'));
    chunk(compressed ? "zTXt" : "tEXt", text);
    chunk("IEND", QByteArray());
    return png;
}

void write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

// The thumbnails of image files go from every size folder and from the
// failure folders; other thumbnails, other files and other folders stay.
TEST(IconCacheTest, RemovesOnlyTheThumbnailsOfImageFiles)
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/thumbnails/");
    ASSERT_TRUE(cache.startsWith(QDir::tempPath())) << "the test main points XDG_CACHE_HOME at a temporary folder";
    QDir(cache).removeRecursively();
    const QStringList gone = {cache + QStringLiteral("normal/a.png"), cache + QStringLiteral("large/b.png"),
                              cache + QStringLiteral("x-large/c.png"), cache + QStringLiteral("xx-large/d.png"),
                              cache + QStringLiteral("fail/gnome-thumbnail-factory/e.png"),
                              cache + QStringLiteral("normal/long.png")};
    const QByteArray uris[] = {"file:///data/Install.WIM", "file:///data/x.esd", "file:///d/p2.swm",
                               "file:///d/b%20c.wim", "file:///d/e.Esd"};
    for (int i = 0; i < 5; ++i)
        write(gone[i], thumbnail(uris[i]));
    write(gone[5], thumbnail("file:///a/rather/long/folder/name/as/Qt/compresses/it/install.wim", true));
    const QStringList kept = {cache + QStringLiteral("normal/photo.png"), cache + QStringLiteral("normal/junk.png"),
                              cache + QStringLiteral("normal/wim.txt"), cache + QStringLiteral("other/f.png"),
                              cache + QStringLiteral("large/wimlike.png")};
    write(kept[0], thumbnail("file:///data/photo.jpg"));
    write(kept[1], "not a png");
    write(kept[2], thumbnail("file:///data/x.wim"));
    write(kept[3], thumbnail("file:///data/x.wim"));
    write(kept[4], thumbnail("file:///data/x.wim.jpg"));

    EXPECT_EQ(RebuildIconCache(), int(gone.size()));
    for (const QString& path : gone)
        EXPECT_FALSE(QFile::exists(path)) << path.toStdString();
    for (const QString& path : kept)
        EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
    EXPECT_EQ(RebuildIconCache(), 0);
}
