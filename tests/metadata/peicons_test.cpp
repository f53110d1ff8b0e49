// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata/peicons.h"

#include "support/iconfixture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QtEndian>

#include <functional>

namespace {

// Each size its own colour, so that a test sees which image was taken.
const QColor kColour16(200, 0, 0);
const QColor kColour32(0, 150, 0);
const QColor kColour48(0, 0, 180);
const QColor kColour256(120, 60, 30);

IconGroupSpec threeSizes()
{
    return {{16, 4, MakeDibIconImage(16, 4, kColour16)},
            {32, 24, MakeDibIconImage(32, 24, kColour32)},
            {256, 32, MakePngIconImage(256, kColour256)}};
}

QColor centre(const QImage& image)
{
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

void set32(QByteArray& b, int at, uint32_t v)
{
    qToLittleEndian<uint32_t>(v, b.data() + at);
}

} // namespace

// Every kind of file the reader takes gives its groups and, for a size, the
// image of that size or the nearest larger one scaled, never a smaller one
// while a larger exists.
TEST(IconFileTest, PicksTheExactOrNearestLargerImage)
{
    const std::vector<IconGroupSpec> groups = {
        threeSizes(), {{48, 32, MakeDibIconImage(48, 32, kColour48)}}};
    struct Case {
        const char* name;
        QByteArray bytes;
        int count;
    };
    const Case cases[] = {
        {"ico", MakeIcoFile(threeSizes()), 1},
        {"cur", MakeIcoFile(threeSizes(), 2), 1},
        {"pe32", MakePeFile(groups, false).bytes, 2},
        {"pe64", MakePeFile(groups, true).bytes, 2},
    };
    struct Pick {
        int size;
        QColor colour;
    };
    const Pick picks[] = {{16, kColour16}, {32, kColour32}, {24, kColour32}, {33, kColour256},
                          {256, kColour256}, {8, kColour16}, {300, kColour256}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IconFile file;
        ASSERT_EQ(file.read(c.bytes), IconFileError::kNone);
        ASSERT_EQ(file.count(), c.count);
        EXPECT_EQ(file.images(0).size(), 3u);
        for (const Pick& p : picks) {
            SCOPED_TRACE(p.size);
            const QImage icon = file.icon(0, p.size);
            ASSERT_FALSE(icon.isNull());
            EXPECT_EQ(icon.size(), QSize(p.size, p.size));
            EXPECT_EQ(centre(icon), p.colour);
        }
        if (c.count == 2) {
            EXPECT_EQ(centre(file.icon(1, 16)), kColour48);
        }
        EXPECT_TRUE(file.icon(c.count, 16).isNull());
        EXPECT_TRUE(file.icon(-1, 16).isNull());
    }
}

// Colour depths of DIB images: the colour comes from the palette or the
// pixels, the mask makes its pixels transparent; 32-bit images with alpha
// keep their alpha.
TEST(IconFileTest, DecodesEveryDibDepthWithItsMask)
{
    const QColor colour(10, 120, 240);
    for (int bits : {1, 4, 8, 24, 32}) {
        SCOPED_TRACE(bits);
        const QImage image = DecodeIconImage(MakeDibIconImage(20, bits, colour));
        ASSERT_EQ(image.size(), QSize(20, 20));
        EXPECT_EQ(centre(image), colour);
        // A 32-bit image with alpha brings its own transparency.
        if (bits != 32) {
            EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << "the masked top-left pixel";
        }
        EXPECT_EQ(qAlpha(image.pixel(1, 0)), 255);
        EXPECT_EQ(qAlpha(image.pixel(0, 19)), 255) << "rows are bottom-up";
    }
    const QImage translucent = DecodeIconImage(MakeDibIconImage(8, 32, QColor(1, 2, 3, 128)));
    EXPECT_EQ(qAlpha(translucent.pixel(4, 4)), 128);
}

// Damaged files of every layer are refused with a reason, list no icons and
// read nothing outside their bytes (the fuzz target checks the last under
// ASan).
TEST(IconFileTest, RefusesTruncatedAndCorruptedFiles)
{
    const PeFixture pe = MakePeFile({threeSizes()}, false);
    const QByteArray ico = MakeIcoFile(threeSizes());
    using Damage = std::function<void(QByteArray&)>;
    struct Case {
        const char* name;
        QByteArray base;
        Damage damage;
        IconFileError expected;
    };
    const Case cases[] = {
        {"empty", QByteArray(), [](QByteArray&) {}, IconFileError::kTruncated},
        {"text", QByteArray("hello world"), [](QByteArray&) {}, IconFileError::kUnknownFormat},
        {"ico: header only", ico, [](QByteArray& b) { b.truncate(6); }, IconFileError::kTruncated},
        {"ico: no images", ico, [](QByteArray& b) { b[4] = 0; }, IconFileError::kNoIcons},
        {"ico: count beyond the file", ico, [](QByteArray& b) { b[4] = char(0xFF); b[5] = char(0xFF); },
         IconFileError::kTruncated},
        {"ico: image cut off", ico, [](QByteArray& b) { b.chop(10); }, IconFileError::kBadOffset},
        {"ico: offset wraps", ico, [](QByteArray& b) { set32(b, 6 + 12, 0xFFFFFFF0u); },
         IconFileError::kBadOffset},
        {"ico: size huge", ico, [](QByteArray& b) { set32(b, 6 + 8, 0x7FFFFFFFu); }, IconFileError::kBadOffset},
        {"pe: dos header only", pe.bytes, [](QByteArray& b) { b.truncate(40); }, IconFileError::kTruncated},
        {"pe: header offset outside", pe.bytes, [](QByteArray& b) { set32(b, 0x3C, 0xFFFFFFF0u); },
         IconFileError::kTruncated},
        {"pe: no PE signature", pe.bytes, [&](QByteArray& b) { b[pe.peHeader] = 'X'; },
         IconFileError::kUnknownFormat},
        {"pe: unknown optional header", pe.bytes, [&](QByteArray& b) { b[pe.peHeader + 24] = 0x77; },
         IconFileError::kUnknownFormat},
        {"pe: section table cut", pe.bytes, [&](QByteArray& b) { b.truncate(pe.sectionTable + 20); },
         IconFileError::kTruncated},
        {"pe: section count huge", pe.bytes, [&](QByteArray& b) { b[pe.peHeader + 6] = char(0xFF); b[pe.peHeader + 7] = char(0xFF); },
         IconFileError::kTruncated},
        {"pe: no resources", pe.bytes, [&](QByteArray& b) { set32(b, pe.resourceEntry, 0); },
         IconFileError::kNoIcons},
        {"pe: resources outside every section", pe.bytes, [&](QByteArray& b) { set32(b, pe.resourceEntry, 0x900000); },
         IconFileError::kBadOffset},
        {"pe: section data beyond the file", pe.bytes, [&](QByteArray& b) { set32(b, pe.sectionTable + 20, 0x7FFFFF00u); },
         IconFileError::kBadOffset},
        {"pe: cut inside the resource tree", pe.bytes, [&](QByteArray& b) { b.truncate(pe.rsrcStart + 40); },
         IconFileError::kBadOffset},
        {"pe: cut before the group data", pe.bytes, [&](QByteArray& b) { b.truncate(pe.firstDataEntry + 60); },
         IconFileError::kBadOffset},
        {"pe: group type points back at the root", pe.bytes,
         [&](QByteArray& b) { set32(b, pe.groupTypeEntry + 4, 0x80000000u); }, IconFileError::kBadOffset},
        {"pe: group type is data, not a directory", pe.bytes,
         [&](QByteArray& b) { set32(b, pe.groupTypeEntry + 4, 0x10); }, IconFileError::kBadOffset},
        {"pe: group type entry offset huge", pe.bytes,
         [&](QByteArray& b) { set32(b, pe.groupTypeEntry + 4, 0xFFFFFFFFu); }, IconFileError::kBadOffset},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray bytes = c.base;
        c.damage(bytes);
        IconFile file;
        EXPECT_EQ(file.read(bytes), c.expected) << IconFileErrorText(file.read(bytes)).toStdString();
        EXPECT_EQ(file.count(), 0);
        EXPECT_TRUE(file.icon(0, 32).isNull());
    }
}

// A directory that names icons the file does not hold, or images that are no
// icon, gives no picture but still reads: the other groups stay usable.
TEST(IconFileTest, DamagedImagesGiveNoPictureAndNoHugeAllocation)
{
    QByteArray wide = MakeDibIconImage(16, 32, Qt::red);
    set32(wide, 4, 0x7FFFFFFF); // a width no icon has
    QByteArray tall = MakeDibIconImage(16, 32, Qt::red);
    set32(tall, 8, 0x80000000u); // a negative height
    QByteArray png = MakePngIconImage(16, Qt::red);
    qToBigEndian<uint32_t>(0x40000000u, png.data() + 16); // the PNG header claims a huge width
    QByteArray cut = MakeDibIconImage(32, 8, Qt::red);
    cut.truncate(40 + 256 * 4 + 10);
    QByteArray compressed = MakeDibIconImage(16, 8, Qt::red);
    set32(compressed, 16, 1); // RLE8
    for (const QByteArray& data : {wide, tall, png, cut, compressed, QByteArray("\x89PNG\r\n\x1a\n", 8)})
        EXPECT_TRUE(DecodeIconImage(data).isNull());

    const PeFixture pe = MakePeFile({{{16, 32, wide}}, {{16, 32, MakeDibIconImage(16, 32, kColour16)}}}, true);
    IconFile file;
    ASSERT_EQ(file.read(pe.bytes), IconFileError::kNone);
    ASSERT_EQ(file.count(), 2);
    EXPECT_TRUE(file.icon(0, 16).isNull());
    EXPECT_EQ(centre(file.icon(1, 16)), kColour16);
}

// The fuzz target's seeds (tests/fuzz/make_peicon_corpus.py) are files the
// reader takes whole, so that fuzzing starts from every path that works.
TEST(IconFileTest, FuzzSeedsAreReadableIconFiles)
{
    const QDir seeds(QStringLiteral(KESTREL_SOURCE_DIR "/tests/fuzz/corpus/fuzz_peicon"));
    const QStringList names = seeds.entryList(QDir::Files);
    ASSERT_GE(names.size(), 5);
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        IconFile file;
        ASSERT_EQ(file.load(seeds.filePath(name)), IconFileError::kNone);
        for (int i = 0; i < file.count(); ++i) {
            EXPECT_FALSE(file.icon(i, 32).isNull());
            for (const IconImageEntry& entry : file.images(i))
                EXPECT_FALSE(DecodeIconImage(entry.data).isNull()) << entry.width;
        }
    }
}
