// SPDX-License-Identifier: GPL-3.0-or-later
// The thumbnailer as file managers run it: good files, damaged and hostile
// ones, and once inside the sandbox GNOME runs thumbnailers in.
#include "iconfiles.h"

#include "metadata/iconcodec.h"
#include "support/imagefixture.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString kHost = QStringLiteral(KESTREL_OUT_DIR "/KestrelShell");

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

class ThumbnailerTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QFile::exists(kHost));
    }
    QString path(const QString& name) const { return m_dir.path() + u'/' + name; }
    int thumbnail(const QString& input, const QString& output, int size = 128, QString* log = nullptr)
    {
        return RunTool(kHost, {QStringLiteral("--thumbnail"), QString::number(size), input, output}, 60000, log);
    }

private:
    QTemporaryDir m_dir;
};

TEST_F(ThumbnailerTest, StoredIconAndProgramIcon)
{
    const QString withIcon = path(QStringLiteral("icon.wim"));
    ASSERT_TRUE(MakeImageFileWithIconText(withIcon, EncodeIconText(PngBytes(SamplePicture()))));
    const QString plain = path(QStringLiteral("plain.wim"));
    ASSERT_TRUE(MakeImageFileWithIconText(plain, QString()));

    ASSERT_EQ(thumbnail(withIcon, path(QStringLiteral("icon.png"))), 0);
    const QImage icon(path(QStringLiteral("icon.png")));
    EXPECT_EQ(icon.size(), QSize(128, 128));
    EXPECT_EQ(icon.pixel(5, 5), qRgb(0, 0, 255));
    EXPECT_EQ(icon.pixel(100, 100), qRgb(255, 0, 0));

    ASSERT_EQ(thumbnail(plain, path(QStringLiteral("plain.png")), 256), 0);
    const QImage program(path(QStringLiteral("plain.png")));
    EXPECT_EQ(program.size(), QSize(256, 256));
    EXPECT_EQ(qAlpha(program.pixel(2, 250)), 0) << "the program's icon has a clear corner";

    QString log;
    EXPECT_EQ(thumbnail(plain, path(QStringLiteral("x.png")), 0, &log), 2) << log.toStdString();
    EXPECT_EQ(RunTool(kHost, {QStringLiteral("--thumbnail"), QStringLiteral("64")}), 2);
}

// Damaged files end with a failure and leave no output; hostile icons in a
// sound file give the program's icon. Nothing ends in a crash: RunTool
// gives -1 for a program killed by a signal, the watchdog's included.
TEST_F(ThumbnailerTest, DamagedAndHostileFiles)
{
    const QString good = path(QStringLiteral("good.wim"));
    ASSERT_TRUE(MakeImageFileWithIconText(good, QString()));
    const QByteArray bytes = readAll(good);
    ASSERT_GT(bytes.size(), 208);
    ASSERT_EQ(thumbnail(good, path(QStringLiteral("program.png"))), 0);
    const QByteArray programIcon = readAll(path(QStringLiteral("program.png")));

    auto patched = [&](qsizetype at, quint64 value, int width) {
        QByteArray b = bytes;
        for (int i = 0; i < width; ++i)
            b[at + i] = char(value >> (8 * i));
        return b;
    };
    QByteArray flipped = bytes;
    for (qsizetype i = 208; i < flipped.size(); i += 7)
        flipped[i] = char(flipped[i] ^ 0x5A);
    const struct {
        const char* name;
        QByteArray content;
    } damaged[] = {
        {"empty", QByteArray()},
        {"header only", bytes.left(208)},
        {"cut in half", bytes.left(bytes.size() / 2)},
        {"not an image file", QByteArray("just some text\n").repeated(100)},
        {"XML claims 1 GiB", patched(72 + 16, quint64(1) << 30, 8)},
        {"XML stored past the end", patched(72 + 8, quint64(bytes.size()), 8)},
        {"lookup table larger than the file", patched(48, quint64(bytes.size()) * 4, 7)},
        // Found by fuzzing: the size the table unpacks to is allocated at once.
        {"lookup table unpacking to 2^51 bytes", patched(48 + 16, (quint64(1) << 51) + 150, 8)},
        {"368 million images", patched(44, 0x16000001, 4)},
        {"every seventh byte flipped", flipped},
    };
    for (const auto& row : damaged) {
        SCOPED_TRACE(row.name);
        const QString in = path(QStringLiteral("damaged.wim"));
        const QString out = path(QStringLiteral("damaged.png"));
        QFile::remove(out);
        ASSERT_TRUE(writeAll(in, row.content));
        QString log;
        EXPECT_EQ(thumbnail(in, out, 128, &log), 1) << log.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }

    const struct {
        const char* name;
        QString iconText;
    } hostile[] = {
        {"icon text of 3 MB", QString(3 * 1024 * 1024, u'0')},
        {"PNG claiming 60000 x 60000", EncodeIconText(PngClaiming(60000, 60000))},
        {"PNG claiming 4096 x 1", EncodeIconText(PngClaiming(4096, 1))},
        {"not a PNG", EncodeIconText(QByteArray("GIF89a").repeated(50))},
        {"outside the alphabet", QStringLiteral("@@@@")},
    };
    for (const auto& row : hostile) {
        SCOPED_TRACE(row.name);
        const QString in = path(QStringLiteral("hostile.wim"));
        const QString out = path(QStringLiteral("hostile.png"));
        QFile::remove(in);
        ASSERT_TRUE(MakeImageFileWithIconText(in, row.iconText));
        EXPECT_EQ(thumbnail(in, out), 0);
        EXPECT_EQ(readAll(out), programIcon);
    }
}

// GNOME runs thumbnailers with only /usr and the system's libraries visible,
// the input bound under /tmp, no home folder and no settings file. The
// build folder stands for the installed program's folder.
TEST_F(ThumbnailerTest, RunsInsideGnomesSandbox)
{
    const QString bwrap = QStandardPaths::findExecutable(QStringLiteral("bwrap"));
    if (bwrap.isEmpty())
        GTEST_SKIP() << "bubblewrap is not installed";
    const QStringList base{QStringLiteral("--ro-bind"), QStringLiteral("/usr"), QStringLiteral("/usr"),
                           QStringLiteral("--ro-bind-try"), QStringLiteral("/etc/ld.so.cache"),
                           QStringLiteral("/etc/ld.so.cache"), QStringLiteral("--ro-bind-try"),
                           QStringLiteral("/etc/alternatives"), QStringLiteral("/etc/alternatives"),
                           QStringLiteral("--ro-bind-try"), QStringLiteral("/etc/fonts"), QStringLiteral("/etc/fonts"),
                           QStringLiteral("--proc"), QStringLiteral("/proc"), QStringLiteral("--dev"),
                           QStringLiteral("/dev"), QStringLiteral("--symlink"), QStringLiteral("usr/lib"),
                           QStringLiteral("/lib"), QStringLiteral("--symlink"), QStringLiteral("usr/lib64"),
                           QStringLiteral("/lib64"), QStringLiteral("--symlink"), QStringLiteral("usr/bin"),
                           QStringLiteral("/bin"), QStringLiteral("--symlink"), QStringLiteral("usr/sbin"),
                           QStringLiteral("/sbin"), QStringLiteral("--chdir"), QStringLiteral("/"),
                           QStringLiteral("--clearenv"), QStringLiteral("--setenv"), QStringLiteral("GIO_USE_VFS"),
                           QStringLiteral("local"), QStringLiteral("--unshare-all"), QStringLiteral("--die-with-parent")};
    if (RunTool(bwrap, base + QStringList{QStringLiteral("/bin/true")}) != 0)
        GTEST_SKIP() << "bwrap cannot make a sandbox here (user namespaces are not available)";

    const QString withIcon = path(QStringLiteral("icon.wim"));
    ASSERT_TRUE(MakeImageFileWithIconText(withIcon, EncodeIconText(PngBytes(SamplePicture()))));
    const QString damaged = path(QStringLiteral("damaged.wim"));
    ASSERT_TRUE(writeAll(damaged, readAll(withIcon).left(300)));

    for (const QString& input : {withIcon, damaged}) {
        SCOPED_TRACE(input.toStdString());
        QTemporaryDir box(path(QStringLiteral("box-XXXXXX")));
        ASSERT_TRUE(box.isValid());
        const QString inside = QStringLiteral("/tmp/gnome-desktop-file-to-thumbnail.wim");
        const QString output = QStringLiteral("/tmp/gnome-desktop-thumbnailer.png");
        // The program is seen under /opt/kestrel, as an installed one would be
        // under /usr: the build folder may itself lie under /tmp, which the
        // sandbox replaces.
        const QStringList args = base + QStringList{QStringLiteral("--bind"), box.path(), QStringLiteral("/tmp"),
                                                    QStringLiteral("--ro-bind"), QStringLiteral(KESTREL_OUT_DIR),
                                                    QStringLiteral("/opt/kestrel"), QStringLiteral("--ro-bind"),
                                                    input, inside, QStringLiteral("/opt/kestrel/KestrelShell"),
                                                    QStringLiteral("--thumbnail"), QStringLiteral("64"), inside,
                                                    output};
        QString log;
        const int code = RunTool(bwrap, args, 60000, &log);
        const QStringList left = QDir(box.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        if (input == withIcon) {
            ASSERT_EQ(code, 0) << log.toStdString();
            const QImage icon(box.filePath(QStringLiteral("gnome-desktop-thumbnailer.png")));
            EXPECT_EQ(icon.size(), QSize(64, 64));
            EXPECT_EQ(icon.pixel(2, 2), qRgb(0, 0, 255));
            // Only the output and the input's mount point are there.
            EXPECT_EQ(left, (QStringList{QStringLiteral("gnome-desktop-file-to-thumbnail.wim"),
                                         QStringLiteral("gnome-desktop-thumbnailer.png")}));
        } else {
            EXPECT_EQ(code, 1) << log.toStdString();
            EXPECT_EQ(left, QStringList{QStringLiteral("gnome-desktop-file-to-thumbnail.wim")});
        }
    }
}

} // namespace
