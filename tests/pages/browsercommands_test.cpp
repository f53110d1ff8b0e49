// SPDX-License-Identifier: GPL-3.0-or-later
// The image browser's engine on real files: the four listings, the rules
// behind its commands, and renaming in place, checked with wimlib-imagex.
#include "pages/core/browsercommands.h"
#include "pages/core/browserlisting.h"
#include "pages/core/browsermodel.h"

#include "common/language.h"
#include "metadata/iconcodec.h"
#include "metadata/imageicon.h"
#include "support/testenv.h"
#include "wimfixture.h"

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <wimlib.h>

namespace {

QStringList Names(const BrowserListing& listing)
{
    QStringList names;
    for (const BrowserRow& row : listing.rows)
        names << row.name + u'/' + QString::number(row.kind);
    return names;
}

// The names wimlib-imagex lists directly inside `path` of image `image`.
QStringList ImagexChildren(const QString& wim, int image, const QString& path)
{
    QByteArray out;
    if (RunImagex({QStringLiteral("dir"), wim, QString::number(image), QStringLiteral("--path=") + path}, &out) != 0)
        return {QStringLiteral("<wimlib-imagex dir failed>")};
    QStringList names;
    const QString prefix = path == QLatin1String("/") ? QStringLiteral("/") : path + u'/';
    for (const QString& line : QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(prefix) && !line.mid(prefix.size()).contains(u'/') && line.size() > prefix.size())
            names << line.mid(prefix.size());
    }
    names.sort();
    return names;
}

// Image `image` loses its name, written by wimlib itself.
void UnnameImage(const QString& path, int image)
{
    WIMStruct* wim = nullptr;
    ASSERT_EQ(wimlib_open_wim(QFile::encodeName(path).constData(), WIMLIB_OPEN_FLAG_WRITE_ACCESS, &wim), 0);
    EXPECT_EQ(wimlib_set_image_name(wim, image, ""), 0);
    EXPECT_EQ(wimlib_overwrite(wim, 0, 1), 0);
    wimlib_free(wim);
}

class BrowserEngineTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!PageTestSetupProblem().isEmpty())
            GTEST_SKIP() << PageTestSetupProblem().toStdString();
        m_dir = MakeTestDir(QStringLiteral("browserengine"));
        m_source = m_dir + QStringLiteral("/source");
        MakeSourceTree(m_source, 2, 32 * 1024);
        m_wim = m_dir + QStringLiteral("/three.wim");
        ASSERT_TRUE(WriteImageFile(m_source, m_wim, WIMLIB_COMPRESSION_TYPE_LZX, 3));
    }

    QString m_dir, m_source, m_wim;
};

TEST_F(BrowserEngineTest, FolderListsParentThenFoldersThenFilesWithTheirKinds)
{
    QFile::copy(m_wim, m_source + QStringLiteral("/Upper.WIM"));
    QFile::copy(m_wim, m_source + QStringLiteral("/part2.Swm"));
    const BrowserListing listing = ListFolder(m_source + u'/', false);
    ASSERT_TRUE(listing.ok);
    EXPECT_EQ(Names(listing), (QStringList{"../0", "empty/1", "sub/1", "a.txt/2", "part2.Swm/3", "r0.bin/2",
                                           "r1.bin/2", "Upper.WIM/3"}));
    EXPECT_EQ(listing.rows[0].typeName, GetLanguageString(346));
    EXPECT_EQ(listing.rows[1].typeName, GetLanguageString(347));
    EXPECT_EQ(listing.rows[5].size, 32u * 1024);
    EXPECT_TRUE(listing.rows[5].showSize);
    EXPECT_NE(listing.rows[5].modified, 0u);

    const BrowserListing gone = ListFolder(m_dir + QStringLiteral("/missing/"), false);
    EXPECT_FALSE(gone.ok);
    EXPECT_EQ(Names(gone), QStringList{"../0"});
}

TEST_F(BrowserEngineTest, ImageFilesShowTheirOwnIconOnlyWhenAsked)
{
    QImage picture(32, 32, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&buffer, "PNG"));
    ASSERT_EQ(WriteImageIcon(m_wim, EncodeIconText(png)), kIconOk);

    const BrowserListing plain = ListFolder(m_dir + u'/', false);
    const BrowserListing icons = ListFolder(m_dir + u'/', true);
    const auto wimRow = [](const BrowserListing& l) {
        return std::find_if(l.rows.begin(), l.rows.end(), [](const BrowserRow& r) { return r.name == "three.wim"; });
    };
    ASSERT_NE(wimRow(plain), plain.rows.end());
    ASSERT_NE(wimRow(icons), icons.rows.end());
    EXPECT_TRUE(wimRow(plain)->ownIcon.isNull());
    ASSERT_FALSE(wimRow(icons)->ownIcon.isNull());
    EXPECT_EQ(wimRow(icons)->ownIcon.pixelColor(8, 8), QColor(Qt::red));
}

TEST_F(BrowserEngineTest, ImageListNamesEveryImage)
{
    UnnameImage(m_wim, 2);
    const BrowserListing listing = ListImages(m_wim);
    ASSERT_TRUE(listing.ok);
    EXPECT_EQ(Names(listing), (QStringList{"../0", "Image(1): Image 1/1", "Image(2)/1", "Image(3): Image 3/1"}));
    EXPECT_EQ(listing.rows[1].typeName, GetLanguageString(321));
    EXPECT_FALSE(listing.rows[1].sizeText.isEmpty());
    EXPECT_FALSE(listing.rows[1].createdText.isEmpty());

    // A file that is no image file lists only the ".." row.
    const QString bad = m_dir + QStringLiteral("/bad.wim");
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    const BrowserListing broken = ListImages(bad);
    EXPECT_FALSE(broken.ok);
    EXPECT_EQ(Names(broken), QStringList{"../0"});
}

TEST_F(BrowserEngineTest, ImageDirectoryMatchesWimlibImagex)
{
    struct Case {
        QString dir;      // as the page holds it
        QString imagex;   // as wimlib-imagex takes it
    } cases[] = {{QString(), QStringLiteral("/")}, {QStringLiteral("\\sub"), QStringLiteral("/sub")},
                 {QStringLiteral("\\empty"), QStringLiteral("/empty")}};
    for (const Case& c : cases) {
        const BrowserListing listing = ListImageDirectory(m_wim, 2, c.dir, QString());
        ASSERT_TRUE(listing.ok) << c.dir.toStdString();
        ASSERT_FALSE(listing.rows.empty());
        EXPECT_EQ(listing.rows[0].name, QStringLiteral(".."));
        QStringList names;
        bool foldersFirst = true;
        bool seenFile = false;
        for (size_t i = 1; i < listing.rows.size(); ++i) {
            names << listing.rows[i].name;
            if (listing.rows[i].kind == kRowFolder && seenFile)
                foldersFirst = false;
            seenFile = seenFile || listing.rows[i].kind != kRowFolder;
        }
        EXPECT_TRUE(foldersFirst) << c.dir.toStdString();
        names.sort();
        EXPECT_EQ(names, ImagexChildren(m_wim, 2, c.imagex)) << c.dir.toStdString();
    }
    // A path that is not in the image, and an image that is not in the file.
    EXPECT_FALSE(ListImageDirectory(m_wim, 1, QStringLiteral("\\nothing"), QString()).ok);
    EXPECT_FALSE(ListImageDirectory(m_wim, 9, QString(), QString()).ok);
}

TEST_F(BrowserEngineTest, DriveListHoldsTheRootAndNoPseudoFileSystem)
{
    const BrowserListing drives = ListDrives();
    ASSERT_FALSE(drives.rows.empty());
    EXPECT_EQ(drives.rows[0].path, QStringLiteral("/"));
    for (const BrowserRow& row : drives.rows) {
        EXPECT_EQ(row.kind, kRowDriveOrParent);
        EXPECT_FALSE(row.path.startsWith(QStringLiteral("/proc"))) << row.path.toStdString();
        EXPECT_FALSE(row.path.startsWith(QStringLiteral("/sys"))) << row.path.toStdString();
        EXPECT_FALSE(row.path == QLatin1String("/dev/shm")) << row.path.toStdString();
    }
}

TEST(BrowserRules, Table)
{
    struct {
        int row, rows, expected;
    } deletes[] = {{3, 4, 3}, {3, 3, 2}, {1, 1, 0}, {0, 0, 0}};
    for (const auto& d : deletes)
        EXPECT_EQ(SelectionAfterDelete(d.row, d.rows), d.expected) << d.row << "/" << d.rows;

    struct {
        bool imageList;
        const char* row;
        const char* start;
    } renames[] = {{true, "Image(2): Windows 10 Pro", "Windows 10 Pro"},
                   {true, "Image(2)", ""},
                   {true, "Image(12):x", ":x"},
                   {false, "my file.txt", "my file.txt"}};
    for (const auto& r : renames)
        EXPECT_EQ(RenameStartText(r.imageList, QString::fromUtf8(r.row)), QString::fromUtf8(r.start)) << r.row;

    EXPECT_TRUE(ExtractRunsInDialog(kRowFolder, 0));
    EXPECT_FALSE(ExtractRunsInDialog(kRowFile, kDirectExtractLimit));
    EXPECT_TRUE(ExtractRunsInDialog(kRowFile, kDirectExtractLimit + 1));
    EXPECT_EQ(ImageRowName(2, QString()), QStringLiteral("Image(2)"));
    EXPECT_EQ(ImageRowName(1, QStringLiteral("x")), QStringLiteral("Image(1): x"));
    EXPECT_TRUE(IsWholePartition(QStringLiteral("/")));
    EXPECT_FALSE(IsWholePartition(TestHome() + QStringLiteral("/")));
    EXPECT_EQ(LastPathComponent(QStringLiteral("/a/b/")), QStringLiteral("b"));

    // Where the extractions land.
    const WIMLIBTASK image = ExtractImageTask(QStringLiteral("/f.wim"), 2, QStringLiteral("/t/"));
    EXPECT_EQ(image.TargetPath, QStringLiteral("/t/Image(2)"));
    EXPECT_EQ(ExtractedItemFolder(QStringLiteral("/t"), QStringLiteral("\\a\\b"), QStringLiteral("c"), kRowFolder),
              QStringLiteral("/t/a/b/c"));
    EXPECT_EQ(ExtractedItemFolder(QStringLiteral("/t"), QString(), QStringLiteral("c.txt"), kRowFile),
              QStringLiteral("/t"));
    const WIMLIBTASK add = AddItemTask(QStringLiteral("/f.wim"), 1, QStringLiteral("\\sub"), QStringLiteral("/x/new/"));
    EXPECT_EQ(add.TargetPath, QStringLiteral("\\sub\\new"));
    EXPECT_EQ(add.SourcePath, QStringLiteral("/x/new"));
}

TEST(BrowserModelTest, FillRowsCarryOnlyTheirNumber)
{
    BrowserModel model;
    std::vector<BrowserRow> rows(2);
    rows[0] = ParentRow();
    rows[1].name = QStringLiteral("big.iso");
    rows[1].showSize = true;
    rows[1].size = 1536;
    model.setListing(rows);
    model.setFillRows(5);
    EXPECT_EQ(model.rowCount(), 5);
    EXPECT_EQ(model.realRowCount(), 2);
    EXPECT_EQ(model.data(model.index(1, BrowserModel::kColSize)).toString(), QStringLiteral("1.5 KB"));
    EXPECT_EQ(model.data(model.index(1, BrowserModel::kColKind)).toString(), QStringLiteral("2"));
    EXPECT_EQ(model.data(model.index(4, BrowserModel::kColNumber)).toString(), QStringLiteral("4"));
    EXPECT_TRUE(model.data(model.index(4, BrowserModel::kColName)).toString().isEmpty());
    EXPECT_EQ(model.flags(model.index(4, BrowserModel::kColName)), Qt::NoItemFlags);
    model.setFillRows(0);
    EXPECT_EQ(model.rowCount(), 2);
}

TEST_F(BrowserEngineTest, RenameImageAndPathInPlace)
{
    ASSERT_EQ(RenameImage(m_wim, 2, QString()), 0);
    ASSERT_EQ(RenameImage(m_wim, 3, QStringLiteral("三号")), 0);
    pugi::xml_document doc;
    ASSERT_TRUE(ImagexDocument(m_wim, doc));
    EXPECT_TRUE(ImagexImage(doc, 2).child("NAME").empty());
    EXPECT_STREQ(ImagexImage(doc, 3).child_value("NAME"), "三号");
    // Two images may not share a name: the file stays as it was.
    EXPECT_NE(RenameImage(m_wim, 1, QStringLiteral("三号")), 0);
    ASSERT_TRUE(ImagexDocument(m_wim, doc));
    EXPECT_STREQ(ImagexImage(doc, 1).child_value("NAME"), "Image 1");

    ASSERT_EQ(RenameImagePath(m_wim, 1, QStringLiteral("\\sub"), QStringLiteral("b.txt"), QStringLiteral("c.txt")), 0);
    EXPECT_EQ(ImagexChildren(m_wim, 1, QStringLiteral("/sub")), QStringList{"c.txt"});
    // Onto an entry that exists, across folders, or to nothing: refused,
    // nothing lost.
    for (const QString& name : {QStringLiteral("r0.bin"), QStringLiteral("sub/x"), QString()})
        EXPECT_NE(RenameImagePath(m_wim, 1, QString(), QStringLiteral("a.txt"), name), 0) << name.toStdString();
    EXPECT_EQ(ImagexChildren(m_wim, 1, QStringLiteral("/")),
              (QStringList{"a.txt", "empty", "r0.bin", "r1.bin", "sub"}));
    EXPECT_TRUE(ImagexVerifies(m_wim));
}

TEST_F(BrowserEngineTest, OptimiseOnlyWritableUnmountedImageFiles)
{
    EXPECT_TRUE(CanOptimise(m_wim, {}));
    MountEntry mounted;
    mounted.imagePath = m_wim;
    mounted.mountPath = m_dir + QStringLiteral("/mnt");
    EXPECT_FALSE(CanOptimise(m_wim, {mounted}));
    EXPECT_FALSE(CanOptimise(m_source + QStringLiteral("/a.txt"), {}));
    // Read-only even for root, who could still write it.
    QFile::setPermissions(m_wim, QFile::ReadOwner | QFile::ReadGroup);
    EXPECT_FALSE(CanOptimise(m_wim, {}));
}

} // namespace

TEST_F(BrowserEngineTest, ExtractsFromASplitSetChosenByAnyPart)
{
    // Incompressible files, so that the set has several parts of 1 MB.
    const QString big = m_dir + QStringLiteral("/big");
    MakeSourceTree(big, 3, 1024 * 1024);
    const QString wim = m_dir + QStringLiteral("/big.wim");
    ASSERT_TRUE(WriteImageFile(big, wim, WIMLIB_COMPRESSION_TYPE_LZX));
    const QStringList parts = SplitImageFile(wim, m_dir + QStringLiteral("/set.swm"), 1024 * 1024);
    ASSERT_GE(parts.size(), 3);
    for (const QString& chosen : {parts.first(), parts.at(1)}) {
        SCOPED_TRACE(chosen.toStdString());
        const QString out = m_dir + QStringLiteral("/out-") + QFileInfo(chosen).baseName();
        ASSERT_TRUE(QDir().mkpath(out + QStringLiteral("/one")));
        WIMLIBTASK image = ExtractImageTask(chosen, 1, out);
        EXPECT_EQ(image.WimPath, parts.first());
        TASKCONTEXT display;
        ASSERT_EQ(RunWimlibTaskOperation(image, display), 0) << WimlibErrorText(image.Result).toStdString();
        EXPECT_EQ(ListTree(out + QStringLiteral("/Image(1)")), ListTree(big));
        QFile extracted(out + QStringLiteral("/Image(1)/r2.bin")), original(big + QStringLiteral("/r2.bin"));
        ASSERT_TRUE(extracted.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
        EXPECT_TRUE(extracted.readAll() == original.readAll());

        WIMLIBTASK item = ExtractItemTask(chosen, 1, QString(), QStringLiteral("r1.bin"), out + QStringLiteral("/one"), true);
        ASSERT_EQ(RunWimlibTaskOperation(item, display), 0) << WimlibErrorText(item.Result).toStdString();
        EXPECT_EQ(QFileInfo(out + QStringLiteral("/one/r1.bin")).size(), 1024 * 1024);
        EXPECT_EQ(MissingSplitPart(image), QString());
    }

    // A missing part is named: a later one for the first part, the first
    // one for a later part.
    const QString aside = m_dir + QStringLiteral("/aside.swm");
    ASSERT_TRUE(QFile::rename(parts.last(), aside));
    EXPECT_EQ(MissingSplitPart(ExtractImageTask(parts.first(), 1, m_dir)), parts.last());
    ASSERT_TRUE(QFile::rename(aside, parts.last()));
    ASSERT_TRUE(QFile::rename(parts.first(), aside));
    EXPECT_EQ(MissingSplitPart(ExtractItemTask(parts.at(1), 1, QString(), QStringLiteral("r1.bin"), m_dir)),
              parts.first());
    EXPECT_EQ(MissingSplitPart(ExtractImageTask(wim, 1, m_dir)), QString());
}

// Each command's progress dialog is titled after the command.
TEST(BrowserCommandTitles, NameTheCommand)
{
    const QString w = QStringLiteral("/x.wim");
    const std::pair<WIMLIBTASK, int> cases[] = {
        {ExtractImageTask(w, 1, QStringLiteral("/t")), 323},
        {ExtractItemTask(w, 1, QStringLiteral("\\"), QStringLiteral("a"), QStringLiteral("/t"), false), 323},
        {AddImageTask(w, QStringLiteral("/src")), 325},
        {AddItemTask(w, 1, QStringLiteral("\\"), QStringLiteral("/src/a")), 327},
        {DeleteImageTask(w, 1), 328},
        {DeletePathTask(w, 1, QStringLiteral("\\"), QStringLiteral("a")), 331},
        {OptimiseTask(w, false), 351},
    };
    for (const auto& [task, n] : cases)
        EXPECT_EQ(task.Title, QStringLiteral("Kestrel - ") + GetLanguageString(n)) << n;
}
