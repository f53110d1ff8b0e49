// SPDX-License-Identifier: GPL-3.0-or-later
// The "LZMA" resource container: round trips, the exact header, damaged
// containers, the packer command and the resources the program carries.
#include "imaging/binding.h"
#include "imaging/memorymodule.h"
#include "imaging/resourcepacker.h"
#include "imaging/resources.h"
#include "support/testenv.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QRandomGenerator>

namespace {

QByteArray RandomBytes(qsizetype n, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray b(n, '\0');
    for (char& c : b)
        c = char(gen.generate() & 0xFF);
    return b;
}

// Text-like data that compresses well but is not a single repeated byte.
QByteArray WordyBytes(qsizetype n)
{
    static const char* const kWords[] = {"image ", "mount ", "wimlib ", "capture ", "\r\n", "\\Windows\\", "0x1F "};
    QRandomGenerator gen(7);
    QByteArray b;
    b.reserve(n);
    while (b.size() < n)
        b += kWords[gen.bounded(int(std::size(kWords)))];
    b.truncate(n);
    return b;
}

bool PaddingIsZero(const QByteArray& unpacked)
{
    const char* tail = unpacked.constData() + unpacked.size();
    for (qsizetype i = 0; i < kUnpackedPadding; ++i)
        if (tail[i] != '\0')
            return false;
    return true;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(LzmaContainer, RoundTripsDataOfManySizes)
{
    const QByteArray cases[] = {
        QByteArray("x"),
        QByteArray(15, 'a'),
        RandomBytes(4096, 1),
        WordyBytes(300 * 1000),
        WordyBytes(5 * 1024 * 1024) + RandomBytes(512 * 1024, 2), // larger than most carried modules
    };
    for (const QByteArray& input : cases) {
        SCOPED_TRACE(input.size());
        const QByteArray packed = PackResource(input);
        ASSERT_FALSE(packed.isNull());
        const QByteArray unpacked = UnpackResource(packed);
        ASSERT_EQ(unpacked.size(), input.size());
        EXPECT_TRUE(unpacked == input);
        EXPECT_TRUE(PaddingIsZero(unpacked));
    }
}

TEST(LzmaContainer, EmptyInputIsRefused)
{
    EXPECT_TRUE(PackResource(QByteArray()).isNull());
    EXPECT_TRUE(PackResource("", 0).isNull());
    EXPECT_TRUE(PackResource(nullptr, 10).isNull());
}

TEST(LzmaContainer, HeaderHoldsMagicSizeAndProperties)
{
    const QByteArray input = WordyBytes(70000);
    const QByteArray packed = PackResource(input);
    ASSERT_GT(packed.size(), kContainerHeaderSize);
    // "LZMA", 70000 as u32 LE, properties size 5, lc3/lp0/pb2 and a 16 MiB dictionary.
    const QByteArray expected = QByteArray::fromHex("4c5a4d41" "70110100" "05" "5d00000001");
    EXPECT_EQ(packed.left(kContainerHeaderSize).toHex(), expected.toHex());
    EXPECT_LT(packed.size(), input.size() / 4);
}

TEST(LzmaContainer, LongRunsUnpackWithinTheRatioBound)
{
    // A run of one byte packs about as well as LZMA can; the bound on the
    // claimed size must leave room for it.
    const QByteArray run(8 * 1024 * 1024, 'k');
    const QByteArray packed = PackResource(run);
    ASSERT_FALSE(packed.isNull());
    EXPECT_GT(quint64(run.size()), quint64(packed.size()) * 1000);
    EXPECT_EQ(UnpackResource(packed), run);
}

TEST(LzmaContainer, DamagedContainersAreRefused)
{
    const QByteArray good = PackResource(WordyBytes(200000) + RandomBytes(20000, 3));
    ASSERT_FALSE(good.isNull());
    auto patched = [&](int at, char value) {
        QByteArray b = good;
        b[at] = value;
        return b;
    };
    auto withSize = [&](quint32 size) {
        QByteArray b = good;
        for (int i = 0; i < 4; ++i)
            b[4 + i] = char((size >> (8 * i)) & 0xFF);
        return b;
    };
    QByteArray flipped = good;
    for (qsizetype at = 200; at < flipped.size() - 200; at += 997)
        flipped[at] = char(flipped[at] ^ 0x5A);

    const struct {
        const char* what;
        QByteArray container;
    } cases[] = {
        {"empty", QByteArray()},
        {"header only", good.left(kContainerHeaderSize)},
        {"wrong magic", patched(0, 'X')},
        {"lower-case magic", patched(3, 'a')},
        {"unpacked size 0", withSize(0)},
        {"claims more than the stream holds", withSize(220000 + 4096)},
        {"claims 4 GiB", withSize(0xFFFFFFFFu)},
        {"properties size 4", patched(8, 4)},
        {"unsupported properties", patched(9, char(0xFF))},
        {"truncated stream", good.left(good.size() / 2)},
        {"last byte missing", good.left(good.size() - 1)},
        {"stream bytes flipped", flipped},
        {"no stream at all", good.left(kContainerHeaderSize) + QByteArray(1, '\0')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(UnpackResource(c.container).isNull());
    }
    EXPECT_TRUE(UnpackResource(nullptr, 100).isNull());
}

TEST(ResourcePacker, EncodesAndDecodesFiles)
{
    const QString dir = MakeTestDir(QStringLiteral("packer"));
    const QByteArray input = WordyBytes(123457);
    WriteFile(dir + "/in.bin", input);
    const QString program = QStringLiteral("Kestrel");

    ASSERT_EQ(RunPackerCommand({program, "lzma", "/encode", dir + "/in.bin", dir + "/packed.lzma"}),
              PackerResult::Done);
    const QByteArray packed = ReadFile(dir + "/packed.lzma");
    EXPECT_EQ(packed.left(9).toHex(), QByteArray::fromHex("4c5a4d4141e2010005").toHex());
    EXPECT_TRUE(packed == PackResource(input)); // the encoder is deterministic

    ASSERT_EQ(RunPackerCommand({program, "LZMA", "/DeCode", dir + "/packed.lzma", dir + "/out.bin"}),
              PackerResult::Done);
    EXPECT_TRUE(ReadFile(dir + "/out.bin") == input); // without the padding
    EXPECT_EQ(RunResourcePacker({program, "LZMA", "/DeCode", dir + "/packed.lzma", dir + "/out2.bin"}), 0);
    EXPECT_TRUE(ReadFile(dir + "/out2.bin") == input);
    // Failures reach the exit code: wrong arguments 2, a container that does not unpack 1.
    EXPECT_EQ(RunResourcePacker({program, "LZMA", "/Squeeze", dir + "/in.bin", dir + "/x.bin"}), 2);
    EXPECT_EQ(RunResourcePacker({program, "LZMA", "/DeCode", dir + "/in.bin", dir + "/x.bin"}), 1);
    EXPECT_FALSE(QFileInfo::exists(dir + "/x.bin"));
}

TEST(ResourcePacker, DoesNothingOrFailsWithoutTouchingTheOutput)
{
    const QString dir = MakeTestDir(QStringLiteral("packer-bad"));
    WriteFile(dir + "/in.bin", "payload");
    WriteFile(dir + "/notlzma.bin", "LZMB and more bytes than fifteen");
    WriteFile(dir + "/empty.bin", QByteArray());
    WriteFile(dir + "/out.bin", "keep me");
    const QString program = QStringLiteral("Kestrel");
    const QString out = dir + "/out.bin";

    const struct {
        QStringList args;
        PackerResult expected;
    } cases[] = {
        {{program, "LZMA", "/Squeeze", dir + "/in.bin", out}, PackerResult::NothingToDo},
        {{program, "LZMA", "/EnCode", dir + "/missing.bin", out}, PackerResult::NothingToDo},
        {{program, "LZMA", "/EnCode", dir, out}, PackerResult::NothingToDo},
        {{program, "LZMA", "/EnCode", dir + "/in.bin"}, PackerResult::NothingToDo},
        {{program, "LZMA", "/DeCode", dir + "/notlzma.bin", out}, PackerResult::Failed},
        {{program, "LZMA", "/DeCode", dir + "/in.bin", out}, PackerResult::Failed},
        {{program, "LZMA", "/EnCode", dir + "/empty.bin", out}, PackerResult::Failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        EXPECT_EQ(RunPackerCommand(c.args), c.expected);
        EXPECT_EQ(ReadFile(out), QByteArray("keep me"));
    }
}

TEST(CarriedResources, EveryResourceUnpacksToItsKind)
{
    auto pictureSize = [](const QByteArray& bytes) {
        QImage image;
        image.loadFromData(bytes, "PNG");
        return image.size();
    };
    EXPECT_EQ(pictureSize(UnpackCarriedResource(CarriedResource::Picture)), QSize(160, 160));
    EXPECT_EQ(pictureSize(UnpackCarriedResource(CarriedResource::Banner)), QSize(419, 43));
    EXPECT_EQ(pictureSize(UnpackCarriedResource(CarriedResource::ButtonA)), QSize(32, 31));
    EXPECT_EQ(pictureSize(UnpackCarriedResource(CarriedResource::ButtonB)), QSize(32, 31));

    QByteArray gif = UnpackCarriedResource(CarriedResource::Animation);
    QBuffer buffer(&gif);
    QImageReader reader(&buffer, "GIF");
    ASSERT_TRUE(reader.canRead()) << "no GIF reader: " << reader.errorString().toStdString();
    EXPECT_EQ(reader.size(), QSize(160, 160));
    int frames = 0;
    while (!reader.read().isNull())
        ++frames;
    EXPECT_GT(frames, 1);

    const QByteArray language = UnpackCarriedResource(CarriedResource::DefaultLanguage);
    ASSERT_GT(language.size(), 2);
    EXPECT_EQ(language.left(2), QByteArray("\xFF\xFE", 2)); // UTF-16LE with byte-order mark
    EXPECT_TRUE(PaddingIsZero(language));

    const QByteArray help = UnpackCarriedResource(CarriedResource::DefaultHelp);
    EXPECT_TRUE(help.contains("<html"));

    const QByteArray wimlib = UnpackCarriedResource(CarriedResource::WimlibModule);
    EXPECT_TRUE(IsOwnMachineSharedObject(wimlib.constData(), wimlib.size()));

    const QByteArray layer = UnpackCarriedResource(CarriedResource::ImagingLayer);
#if KESTREL_CARRIES_IMAGING_LAYER
    EXPECT_TRUE(IsOwnMachineSharedObject(layer.constData(), layer.size()));
#else
    EXPECT_TRUE(layer.isEmpty()) << "this build has no imaging layer to carry";
#endif
}

TEST(CarriedResources, NameTableListsTheWimlibEntriesInOrder)
{
    const QByteArray table = UnpackCarriedResource(CarriedResource::WimlibNames);
    ASSERT_EQ(table.size(), 24 * 64);
    QStringList names;
    for (qsizetype at = 0; at < table.size(); at += 64) {
        const QByteArray slot = table.mid(at, 64);
        ASSERT_EQ(slot.back(), '\0');
        names << QString::fromLatin1(slot.constData());
        EXPECT_TRUE(slot.mid(names.back().size()).count('\0') == 64 - names.back().size()) << "zero padding";
    }
    EXPECT_EQ(names, WimlibEntryNames());
}
