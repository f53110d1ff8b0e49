// SPDX-License-Identifier: GPL-3.0-or-later
// Split set names and attaching the parts, on a real split set.
#include "metadata/imagefileinfo.h"
#include "metadata/splitparts.h"
#include "imaging/wimhandle.h"
#include "qtprint.h"
#include "realfile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>

namespace {

TEST(SplitPartNames, DerivedFromTheFileName)
{
    EXPECT_EQ(SplitPartName(QStringLiteral("/a.b/set.swm"), 3), QStringLiteral("/a.b/set3.swm"));
    // A name without an extension takes the number at its end, as wimlib names the parts.
    EXPECT_EQ(SplitPartName(QStringLiteral("/a.b/set"), 3), QStringLiteral("/a.b/set3"));
    QString path = QStringLiteral("/a.b/set2");
    EXPECT_FALSE(FirstSplitPartName(path, 2));
    EXPECT_EQ(path, QStringLiteral("/a.b/set2"));
    path = QStringLiteral("/x/set12.swm");
    EXPECT_TRUE(FirstSplitPartName(path, 1));
    EXPECT_EQ(path, QStringLiteral("/x/set12.swm"));
}

class SplitSetTest : public RealFileTest {
protected:
    // A set of four parts: set.swm, set2.swm, set3.swm, set4.swm.
    QStringList makeSet()
    {
        const QString tree = dir() + QStringLiteral("/big");
        QDir().mkpath(tree);
        QRandomGenerator random(11);
        for (int i = 0; i < 4; ++i) {
            QByteArray bytes(900 * 1024, Qt::Uninitialized);
            for (char& c : bytes)
                c = char(random.bounded(256));
            QFile f(tree + QStringLiteral("/r%1.bin").arg(i));
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
                return {};
        }
        const QString wim = file(QStringLiteral("big.wim"));
        if (RunImagex({QStringLiteral("capture"), tree, wim, QStringLiteral("Big")}) != 0)
            return {};
        if (RunImagex({QStringLiteral("split"), wim, file(QStringLiteral("set.swm")), QStringLiteral("1")}) != 0)
            return {};
        QStringList parts{file(QStringLiteral("set.swm"))};
        for (int n = 2; QFile::exists(file(QStringLiteral("set%1.swm").arg(n))); ++n)
            parts << file(QStringLiteral("set%1.swm").arg(n));
        return parts;
    }
};

TEST_F(SplitSetTest, FirstPartFoundFromAnyPart)
{
    const QStringList parts = makeSet();
    ASSERT_GE(parts.size(), 4) << "wimlib-imagex split made too few parts";
    WIMFILEINFO info;
    ASSERT_GT(GetImageFileInfo(parts[2], info), 0u);
    EXPECT_EQ(info.PartNumber, 3);
    EXPECT_EQ(info.TotalParts, parts.size());

    QString path = parts[2];
    EXPECT_TRUE(FirstSplitPartName(path, 3));
    EXPECT_EQ(path, parts[0]);

    // The number in the name does not match the part number given.
    path = parts[2];
    EXPECT_FALSE(FirstSplitPartName(path, 2));
    EXPECT_EQ(path, parts[2]);

    // A name that leads to a file that is not part 1 of a set.
    const QString lone = file(QStringLiteral("lone.wim"));
    ASSERT_TRUE(QFile::copy(parts[1], file(QStringLiteral("lone2.wim"))));
    ASSERT_TRUE(QFile::copy(parts[1], lone));
    path = file(QStringLiteral("lone2.wim"));
    EXPECT_FALSE(FirstSplitPartName(path, 2));
}

TEST_F(SplitSetTest, EveryPartIsAttachedAndAMissingOneIsNamed)
{
    const QStringList parts = makeSet();
    ASSERT_GE(parts.size(), 4);
    const uint32_t total = uint32_t(parts.size());
    {
        WimHandle wim(OpenImageFileRead(parts[0]));
        ASSERT_TRUE(wim);
        EXPECT_TRUE(ReferenceSplitParts(wim.get(), parts[0], total));
    }
    // A later part missing fails as well as the second: the work would
    // otherwise stop partway, on the first file stored in it.
    for (const int gone : {2, 1}) {
        ASSERT_TRUE(QFile::remove(parts[gone]));
        WimHandle wim(OpenImageFileRead(parts[0]));
        ASSERT_TRUE(wim);
        QString missing;
        errno = 0;
        EXPECT_FALSE(ReferenceSplitParts(wim.get(), parts[0], total, &missing));
        EXPECT_EQ(errno, ENOENT);
        EXPECT_EQ(missing, parts[gone]) << "the first missing part is named";
    }
    WimHandle wim(OpenImageFileRead(parts[0]));
    EXPECT_FALSE(ReferenceSplitParts(wim.get(), parts[0], 1));
}

} // namespace
