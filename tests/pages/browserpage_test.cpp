// SPDX-License-Identifier: GPL-3.0-or-later
// The image browser page driven with QTest on real image files: the walk
// from the drive list into an image and back, extracting, adding, deleting,
// renaming, optimising, drops and dragging out, each checked with
// wimlib-imagex.
#include "pages/browserpage.h"

#include "common/language.h"
#include "imaging/taskrun.h"
#include "pagedriver.h"
#include "pages/browserpageview.h"
#include "support/testenv.h"
#include "wimfixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <gtest/gtest.h>
#include <wimlib.h>

#include <memory>

namespace {

QString L(int n)
{
    return GetLanguageString(n);
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The relative paths and file contents of a tree, for comparing two trees.
QStringList TreeWithContents(const QString& root)
{
    QStringList out;
    for (const QString& rel : ListTree(root)) {
        const QString path = root + u'/' + rel;
        out << rel + (QFileInfo(path).isFile() ? u'=' + QString::fromLatin1(ReadAll(path).toHex()) : QString());
    }
    return out;
}

int ImageCount(const QString& wim)
{
    pugi::xml_document doc;
    if (!ImagexDocument(wim, doc))
        return -1;
    int n = 0;
    for (pugi::xml_node image : doc.child("WIM").children("IMAGE")) {
        (void)image;
        ++n;
    }
    return n;
}

// Everything wimlib-imagex lists in image `image`, one path a line.
QString ImagexDir(const QString& wim, int image)
{
    QByteArray out;
    RunImagex({QStringLiteral("dir"), wim, QString::number(image)}, &out);
    return QString::fromUtf8(out);
}

// The texts of the notices open over `page` now.
QStringList OpenNotices(QWidget* page)
{
    QStringList texts;
    for (QWidget* w : page->findChildren<QWidget*>(QStringLiteral("toast"))) {
        if (w->isVisible())
            texts << w->windowTitle();
    }
    return texts;
}

class BrowserPageTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!PageTestSetupProblem().isEmpty())
            GTEST_SKIP() << PageTestSetupProblem().toStdString();
        m_dir = MakeTestDir(QStringLiteral("browser"));
        m_source = m_dir + QStringLiteral("/source");
        MakeSourceTree(m_source, 2, 32 * 1024);
        m_wim = m_dir + QStringLiteral("/three.wim");
        ASSERT_TRUE(WriteImageFile(m_source, m_wim, WIMLIB_COMPRESSION_TYPE_LZX, 3));
        m_page = std::make_unique<BrowserPage>();
        m_page->resize(900, 500);
        m_page->show();
        // Nothing may start a file manager from a test.
        box("openWhenDone")->setChecked(false);
    }

    void TearDown() override
    {
        if (m_page)
            WaitUntil([] { return !TaskWorker().isRunning(); });
        m_page.reset();
    }

    QCheckBox* box(const char* name) { return m_page->findChild<QCheckBox*>(QString::fromLatin1(name)); }
    BrowserModel* model() { return m_page->model(); }

    void idle() { ASSERT_TRUE(WaitUntil([this] { return !m_page->isBusy(); })); }

    int row(const QString& name) { return model()->findRow(name); }

    // Opens the row named `name` as a double-click does.
    void open(const QString& name)
    {
        const int r = row(name);
        ASSERT_GE(r, 0) << name.toStdString() << " not listed";
        const QModelIndex index = model()->index(r, BrowserModel::kColName);
        m_page->view()->scrollTo(index);
        // The second press of a double-click reaches the view as the
        // double-click event itself.
        const QPoint at = m_page->view()->visualRect(index).center();
        QTest::mousePress(m_page->view()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(m_page->view()->viewport(), Qt::LeftButton, {}, at);
        idle();
    }

    // From the drive list through the root into `folder`, one folder at a time.
    void walkTo(const QString& folder)
    {
        m_page->ShowDriveList();
        idle();
        const QStringList parts = QDir::cleanPath(folder).split(u'/', Qt::SkipEmptyParts);
        const int root = [&] {
            for (int r = 0; r < model()->realRowCount(); ++r)
                if (model()->rowAt(r)->path == QLatin1String("/"))
                    return r;
            return -1;
        }();
        ASSERT_GE(root, 0);
        m_page->OpenRow(root);
        idle();
        for (const QString& part : parts)
            open(part);
        ASSERT_EQ(m_page->currentFolder(), folder + u'/');
        ASSERT_EQ(m_page->folderDepth(), parts.size() + 1);
    }

    // Walks to the image file and into image `image`, folder `sub` if any.
    void openImage(int image, const QString& sub = QString())
    {
        walkTo(m_dir);
        open(QStringLiteral("three.wim"));
        ASSERT_EQ(m_page->viewMode(), 1);
        m_page->OpenRow(image);
        idle();
        ASSERT_EQ(m_page->viewMode(), 2);
        if (!sub.isEmpty())
            open(sub);
    }

    void select(const QString& name)
    {
        const int r = row(name);
        ASSERT_GE(r, 0) << name.toStdString();
        m_page->selectRow(r);
        ASSERT_EQ(m_page->selectedRow(), r);
    }

    std::unique_ptr<BrowserPage> m_page;
    QString m_dir, m_source, m_wim;
};

TEST_F(BrowserPageTest, WalksFromTheDriveListIntoAnImageAndBack)
{
    m_page->ShowDriveList();
    idle();
    EXPECT_FALSE(m_page->backButton()->isEnabled());
    EXPECT_NE(model()->rowAt(0)->name, QStringLiteral(".."));
    // The list is filled to its height with number-only rows.
    EXPECT_GT(model()->rowCount(), model()->realRowCount());

    walkTo(m_dir);
    const int depth = m_page->folderDepth();
    EXPECT_TRUE(m_page->backButton()->isEnabled());
    EXPECT_EQ(model()->rowAt(0)->name, QStringLiteral(".."));
    EXPECT_EQ(model()->data(model()->index(row("three.wim"), BrowserModel::kColKind)).toString(), QStringLiteral("3"));

    open(QStringLiteral("three.wim"));
    EXPECT_EQ(m_page->viewMode(), 1);
    EXPECT_EQ(m_page->folderDepth(), depth);
    EXPECT_EQ(model()->rowAt(2)->name, QStringLiteral("Image(2): Image 2"));
    open(QStringLiteral("Image(2): Image 2"));
    EXPECT_EQ(m_page->viewMode(), 2);
    EXPECT_EQ(m_page->selectedImage(), 2u);
    open(QStringLiteral("sub"));
    EXPECT_EQ(m_page->viewMode(), 3);
    EXPECT_EQ(m_page->imageDirPath(), QStringLiteral("\\sub"));
    EXPECT_EQ(model()->realRowCount(), 2);
    EXPECT_EQ(model()->rowAt(1)->name, QStringLiteral("b.txt"));
    auto labels = m_page->findChildren<QLabel*>();
    const bool dirLabel = std::any_of(labels.begin(), labels.end(), [](QLabel* l) {
        return l->isVisible() && l->text() == QStringLiteral("Image(2)\\sub\\");
    });
    EXPECT_TRUE(dirLabel);

    // Back with the button: the folder we left is selected.
    QTest::mouseClick(m_page->backButton(), Qt::LeftButton);
    idle();
    EXPECT_EQ(m_page->viewMode(), 2);
    EXPECT_EQ(m_page->selectedRow(), row(QStringLiteral("sub")));
    // Back with the ".." row: the image list, image 2 selected.
    open(QStringLiteral(".."));
    EXPECT_EQ(m_page->viewMode(), 1);
    EXPECT_EQ(m_page->selectedRow(), 2);
    // Back out of the image file: the folder holding it, at the same depth.
    QTest::keyClick(m_page->view(), Qt::Key_Backspace);
    idle();
    EXPECT_EQ(m_page->viewMode(), 0);
    EXPECT_EQ(m_page->folderDepth(), depth);
    EXPECT_EQ(m_page->currentFolder(), m_dir + u'/');
    EXPECT_EQ(m_page->selectedRow(), row(QStringLiteral("three.wim")));
    EXPECT_EQ(m_page->selectedPath(), m_wim);
}

TEST_F(BrowserPageTest, ExtractsImageFolderAndFileAsWimlibImagexDoes)
{
    const QString target = MakeTestDir(QStringLiteral("browser-extract"));
    const QString reference = MakeTestDir(QStringLiteral("browser-reference"));

    walkTo(m_dir);
    open(QStringLiteral("three.wim"));
    m_page->selectRow(1);
    m_page->ExtractImage(target);
    idle();
    ASSERT_EQ(RunImagex({QStringLiteral("apply"), m_wim, QStringLiteral("1"), reference + QStringLiteral("/image")}), 0);
    EXPECT_EQ(TreeWithContents(target + QStringLiteral("/Image(1)")), TreeWithContents(reference + QStringLiteral("/image")));

    m_page->OpenRow(1);
    idle();
    m_page->ExtractItem(QStringLiteral("sub"), target + QStringLiteral("/dir"), kRowFolder);
    idle();
    ASSERT_EQ(RunImagex({QStringLiteral("extract"), m_wim, QStringLiteral("1"), QStringLiteral("/sub"),
                         QStringLiteral("--dest-dir=") + reference + QStringLiteral("/dir")}),
              0);
    EXPECT_EQ(TreeWithContents(target + QStringLiteral("/dir")), TreeWithContents(reference + QStringLiteral("/dir")));

    // A small file goes straight to the worker, no dialog.
    m_page->ExtractItem(QStringLiteral("r1.bin"), target + QStringLiteral("/file"), kRowFile);
    idle();
    ASSERT_EQ(RunImagex({QStringLiteral("extract"), m_wim, QStringLiteral("1"), QStringLiteral("/r1.bin"),
                         QStringLiteral("--dest-dir=") + reference + QStringLiteral("/file")}),
              0);
    EXPECT_EQ(ReadAll(target + QStringLiteral("/file/r1.bin")), ReadAll(reference + QStringLiteral("/file/r1.bin")));
    EXPECT_EQ(ReadAll(target + QStringLiteral("/file/r1.bin")).size(), 32 * 1024);
}

TEST_F(BrowserPageTest, ExtractingFromASetWithAPartMissingNamesThePart)
{
    const QString folder = m_dir + QStringLiteral("/set");
    MakeSourceTree(folder + QStringLiteral("/big"), 3, 1024 * 1024);
    ASSERT_TRUE(WriteImageFile(folder + QStringLiteral("/big"), folder + QStringLiteral("/big.wim"),
                               WIMLIB_COMPRESSION_TYPE_LZX));
    const QStringList parts =
        SplitImageFile(folder + QStringLiteral("/big.wim"), folder + QStringLiteral("/set.swm"), 1024 * 1024);
    ASSERT_GE(parts.size(), 3);
    ASSERT_TRUE(QFile::remove(parts.last()));
    const QString target = MakeTestDir(QStringLiteral("browser-extract-set"));

    walkTo(folder);
    open(QStringLiteral("set.swm"));
    ASSERT_EQ(m_page->viewMode(), 1);
    m_page->selectRow(1);
    BoxAnswerer ok({QMessageBox::Ok});
    m_page->ExtractImage(target);
    idle();
    ASSERT_EQ(ok.count(), 1);
    EXPECT_EQ(ok.texts()[0], L(111) + QStringLiteral("\r\n") + parts.last());
    EXPECT_FALSE(QFileInfo::exists(target + QStringLiteral("/Image(1)")));
    EXPECT_FALSE(m_page->isBusy());
}

TEST_F(BrowserPageTest, AddsAFolderAsAnImageAndAFileIntoAnImage)
{
    const QString extra = m_dir + QStringLiteral("/Holiday");
    QDir().mkpath(extra);
    QFile f(extra + QStringLiteral("/photo.jpg"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("jpeg");
    f.close();

    walkTo(m_dir);
    open(QStringLiteral("three.wim"));
    m_page->AddImageFromFolder(extra);
    idle();
    EXPECT_EQ(ImageCount(m_wim), 4);
    EXPECT_EQ(model()->rowAt(4)->name, QStringLiteral("Image(4): Holiday"));
    EXPECT_EQ(m_page->selectedRow(), 4);
    EXPECT_TRUE(ImagexDir(m_wim, 4).contains(QStringLiteral("/photo.jpg")));

    m_page->OpenRow(2);
    idle();
    open(QStringLiteral("sub"));
    m_page->AddItem(extra + QStringLiteral("/photo.jpg"));
    idle();
    EXPECT_TRUE(ImagexDir(m_wim, 2).contains(QStringLiteral("/sub/photo.jpg")));
    EXPECT_EQ(m_page->selectedRow(), row(QStringLiteral("photo.jpg")));
    EXPECT_TRUE(ImagexVerifies(m_wim));
}

TEST_F(BrowserPageTest, DeletesTheLastImageAndAPathAfterAYes)
{
    walkTo(m_dir);
    open(QStringLiteral("three.wim"));
    m_page->selectRow(3);
    {
        BoxAnswerer no({QMessageBox::No});
        m_page->DeleteSelected();
        idle();
        ASSERT_EQ(no.count(), 1);
        EXPECT_EQ(no.titles()[0], L(331));
        EXPECT_EQ(no.texts()[0], L(329) + QStringLiteral("\r\n") + L(330));
    }
    EXPECT_EQ(ImageCount(m_wim), 3);
    BoxAnswerer yes({QMessageBox::Yes});
    m_page->DeleteSelected();
    idle();
    EXPECT_EQ(ImageCount(m_wim), 2);
    EXPECT_EQ(model()->realRowCount(), 3);
    EXPECT_EQ(m_page->selectedRow(), 2);

    m_page->OpenRow(1);
    idle();
    select(QStringLiteral("sub"));
    m_page->DeleteSelected();
    idle();
    EXPECT_EQ(yes.texts().last(), L(332) + QStringLiteral("\r\n") + L(330));
    EXPECT_FALSE(ImagexDir(m_wim, 1).contains(QStringLiteral("/sub")));
    EXPECT_TRUE(ImagexDir(m_wim, 2).contains(QStringLiteral("/sub/b.txt")));
    EXPECT_EQ(row(QStringLiteral("sub")), -1);
    EXPECT_TRUE(ImagexVerifies(m_wim));
}

TEST_F(BrowserPageTest, RenamesInPlace)
{
    walkTo(m_dir);
    open(QStringLiteral("three.wim"));
    QLineEdit* edit = m_page->renameEdit();

    // Image 2 to nothing: "Image(2)" with no colon, and no name in the file.
    m_page->selectRow(2);
    QTest::keyClick(m_page->view(), Qt::Key_F2);
    ASSERT_TRUE(edit->isVisible());
    EXPECT_EQ(edit->text(), QStringLiteral("Image 2"));
    edit->clear();
    QTest::keyClick(edit, Qt::Key_Return);
    idle();
    EXPECT_FALSE(edit->isVisible());
    EXPECT_EQ(model()->rowAt(2)->name, QStringLiteral("Image(2)"));
    pugi::xml_document doc;
    ASSERT_TRUE(ImagexDocument(m_wim, doc));
    EXPECT_TRUE(ImagexImage(doc, 2).child("NAME").empty());

    // Escape leaves everything as it was.
    m_page->selectRow(1);
    m_page->StartRename();
    edit->setText(QStringLiteral("other"));
    QTest::keyClick(edit, Qt::Key_Escape);
    idle();
    EXPECT_EQ(model()->rowAt(1)->name, QStringLiteral("Image(1): Image 1"));

    // A path: the part before the extension is selected first.
    m_page->OpenRow(1);
    idle();
    select(QStringLiteral("a.txt"));
    m_page->StartRename();
    EXPECT_EQ(edit->selectedText(), QStringLiteral("a"));
    edit->setText(QStringLiteral("renamed.txt"));
    QTest::keyClick(edit, Qt::Key_Enter);
    idle();
    EXPECT_EQ(model()->rowAt(m_page->selectedRow())->name, QStringLiteral("renamed.txt"));
    EXPECT_TRUE(ImagexDir(m_wim, 1).contains(QStringLiteral("/renamed.txt")));

    // A rename that fails (the name is taken) leaves the row and the file.
    select(QStringLiteral("renamed.txt"));
    m_page->StartRename();
    edit->setText(QStringLiteral("r0.bin"));
    QTest::keyClick(edit, Qt::Key_Return);
    idle();
    EXPECT_EQ(row(QStringLiteral("renamed.txt")), m_page->selectedRow());
    EXPECT_TRUE(ImagexDir(m_wim, 1).contains(QStringLiteral("/renamed.txt")));
    EXPECT_TRUE(ImagexVerifies(m_wim));

    // Moving the selection commits an open rename.
    select(QStringLiteral("r0.bin"));
    m_page->StartRename();
    edit->setText(QStringLiteral("r9.bin"));
    m_page->selectRow(row(QStringLiteral("r1.bin")));
    idle();
    EXPECT_GE(row(QStringLiteral("r9.bin")), 0);
    EXPECT_TRUE(ImagexDir(m_wim, 1).contains(QStringLiteral("/r9.bin")));
}

TEST_F(BrowserPageTest, ScrollingCancelsARename)
{
    // Enough files to scroll.
    for (int i = 0; i < 60; ++i) {
        QFile f(m_source + QStringLiteral("/many%1.txt").arg(i, 2, 10, QLatin1Char('0')));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QFile::remove(m_wim);
    ASSERT_TRUE(WriteImageFile(m_source, m_wim, WIMLIB_COMPRESSION_TYPE_LZX, 1));
    openImage(1);
    select(QStringLiteral("many00.txt"));
    m_page->StartRename();
    ASSERT_TRUE(m_page->renameEdit()->isVisible());
    m_page->renameEdit()->setText(QStringLiteral("never.txt"));
    m_page->view()->verticalScrollBar()->setValue(10);
    idle();
    EXPECT_FALSE(m_page->renameEdit()->isVisible());
    EXPECT_GE(row(QStringLiteral("many00.txt")), 0);
    EXPECT_FALSE(ImagexDir(m_wim, 1).contains(QStringLiteral("never.txt")));
}

TEST_F(BrowserPageTest, DropsFollowTheirRules)
{
    const QPoint inRows = m_page->view()->viewport()->mapTo(m_page.get(), QPoint(20, 20));
    walkTo(m_dir);
    // Disk view: ignored.
    m_page->OnDropFiles(m_source, inRows);
    idle();
    EXPECT_EQ(ImageCount(m_wim), 3);

    open(QStringLiteral("three.wim"));
    // A file onto the image list: the notice, nothing added.
    m_page->OnDropFiles(m_source + QStringLiteral("/a.txt"), inRows);
    EXPECT_TRUE(OpenNotices(m_page.get()).contains(L(343)));
    EXPECT_EQ(ImageCount(m_wim), 3);
    // Outside the rows: ignored.
    m_page->OnDropFiles(m_source, QPoint(-5, -5));
    idle();
    EXPECT_EQ(ImageCount(m_wim), 3);
    // A folder: a new image.
    m_page->OnDropFiles(m_source + QStringLiteral("/sub"), inRows);
    idle();
    EXPECT_EQ(ImageCount(m_wim), 4);

    // Into an image: a whole file system is refused with its notice.
    m_page->OpenRow(1);
    idle();
    m_page->OnDropFiles(QStringLiteral("/"), inRows);
    EXPECT_TRUE(OpenNotices(m_page.get()).contains(L(342)));
    m_page->OnDropFiles(m_source + QStringLiteral("/empty"), inRows);
    idle();
    EXPECT_TRUE(ImagexDir(m_wim, 1).contains(QStringLiteral("/empty")));
    EXPECT_EQ(m_page->selectedRow(), row(QStringLiteral("empty")));
}

TEST_F(BrowserPageTest, OptimiseIsGreyedForReadOnlyFilesAndRebuilds)
{
    walkTo(m_dir);
    auto optimiseEnabled = [this] {
        std::unique_ptr<QMenu> menu(m_page->buildRowMenu(m_page->selectedRow()));
        for (QAction* a : menu->actions())
            if (a->data().toInt() == BrowserPage::kCmdDeleteOrOptimise)
                return a->isEnabled();
        return false;
    };
    select(QStringLiteral("three.wim"));
    EXPECT_TRUE(optimiseEnabled());
    QFile::setPermissions(m_wim, QFile::ReadOwner | QFile::ReadGroup);
    EXPECT_FALSE(optimiseEnabled());
    m_page->OnCommand(BrowserPage::kCmdDeleteOrOptimise);
    idle();
    QFile::setPermissions(m_wim, QFile::ReadOwner | QFile::WriteOwner);
    // The open command is greyed for an image file, not for a folder.
    {
        std::unique_ptr<QMenu> menu(m_page->buildRowMenu(m_page->selectedRow()));
        EXPECT_FALSE(menu->actions()[0]->isEnabled());
    }
    {
        std::unique_ptr<QMenu> menu(m_page->buildRowMenu(row(QStringLiteral("source"))));
        EXPECT_TRUE(menu->actions()[0]->isEnabled());
    }

    // A file added and deleted again without a rebuild leaves its data in
    // the file; the rebuild drops it.
    {
        const QString junk = m_dir + QStringLiteral("/junk.bin");
        QFile f(junk);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < 4096; ++i) {
            const quint64 v = QRandomGenerator::global()->generate64();
            f.write(reinterpret_cast<const char*>(&v), sizeof v);
        }
        f.close();
        WIMStruct* wim = nullptr;
        ASSERT_EQ(wimlib_open_wim(QFile::encodeName(m_wim).constData(), WIMLIB_OPEN_FLAG_WRITE_ACCESS, &wim), 0);
        ASSERT_EQ(wimlib_add_tree(wim, 1, QFile::encodeName(junk).constData(), "/junk.bin", 0), 0);
        ASSERT_EQ(wimlib_overwrite(wim, 0, 1), 0);
        ASSERT_EQ(wimlib_delete_path(wim, 1, "/junk.bin", 0), 0);
        ASSERT_EQ(wimlib_overwrite(wim, 0, 1), 0);
        wimlib_free(wim);
    }
    const qint64 before = QFileInfo(m_wim).size();
    box("recompress")->setChecked(true);
    select(QStringLiteral("three.wim"));
    m_page->OnCommand(BrowserPage::kCmdDeleteOrOptimise);
    idle();
    EXPECT_LT(QFileInfo(m_wim).size(), before - 32 * 1024);
    EXPECT_TRUE(ImagexVerifies(m_wim));
    EXPECT_EQ(model()->rowAt(row(QStringLiteral("three.wim")))->size, uint64_t(QFileInfo(m_wim).size()));
}

TEST_F(BrowserPageTest, DraggingOutExtractsIntoATemporaryFolder)
{
    openImage(1);
    struct {
        const char* name;
        bool folder;
    } cases[] = {{"a.txt", false}, {"sub", true}};
    for (const auto& c : cases) {
        const QString name = QString::fromLatin1(c.name);
        std::unique_ptr<QMimeData> mime;
        bool called = false;
        m_page->prepareDragOut(row(name), [&](QMimeData* m) {
            mime.reset(m);
            called = true;
        });
        ASSERT_TRUE(WaitUntil([&] { return called; }));
        ASSERT_TRUE(mime) << c.name;
        EXPECT_TRUE(mime->hasFormat(QStringLiteral("text/uri-list")));
        ASSERT_EQ(mime->urls().size(), 1);
        const QString path = mime->urls()[0].toLocalFile();
        EXPECT_EQ(QFileInfo(path).fileName(), name);
        if (c.folder)
            EXPECT_EQ(ReadAll(path + QStringLiteral("/b.txt")), QByteArray("bravo bravo\n"));
        else
            EXPECT_EQ(ReadAll(path), QByteArray("alpha\n"));
    }
    // The ".." row is not dragged.
    bool called = false;
    m_page->prepareDragOut(0, [&](QMimeData* m) {
        EXPECT_EQ(m, nullptr);
        called = true;
    });
    EXPECT_TRUE(called);
}

} // namespace
