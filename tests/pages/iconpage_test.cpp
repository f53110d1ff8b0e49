// SPDX-License-Identifier: GPL-3.0-or-later
// The icon page driven with QTest on real image files and icon sources the
// test makes itself: the picture rules, the icon list, writing and deleting
// the stored icon (checked with wimlib-imagex), saving as ICO, the cache.
#include "pages/iconpage.h"

#include "common/language.h"
#include "imaging/taskrun.h"
#include "metadata/mountsettings.h"
#include "pagedriver.h"
#include "support/iconfixture.h"
#include "support/testenv.h"
#include "wimfixture.h"

#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QImageReader>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>
#include <unistd.h>

namespace {

QString L(int n)
{
    return GetLanguageString(n);
}

// The colour of icon group i of the 60-icon program, so that a test sees
// which icon it got.
QColor groupColour(int i)
{
    return QColor(i * 4, 255 - i * 4, 100);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// A white picture with a red square in the middle, as a JPEG.
void writeWhiteJpeg(const QString& path)
{
    QImage picture(120, 80, QImage::Format_RGB32);
    picture.fill(Qt::white);
    for (int y = 30; y < 50; ++y)
        for (int x = 50; x < 70; ++x)
            picture.setPixelColor(x, y, QColor(220, 0, 0));
    ASSERT_TRUE(picture.save(path, "JPG", 100));
}

class IconPageTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!PageTestSetupProblem().isEmpty())
            GTEST_SKIP() << PageTestSetupProblem().toStdString();
        m_dir = MakeTestDir(QStringLiteral("iconpage"));
        m_wim = m_dir + QStringLiteral("/one.wim");
        ASSERT_TRUE(MakeImageFile(m_wim, 2));
        m_page = std::make_unique<IconPage>();
        m_page->show();
    }

    void TearDown() override
    {
        if (m_page)
            WaitUntil([this] { return !m_page->isBusy() && !TaskWorker().isRunning(); });
        m_page.reset();
    }

    QString info()
    {
        QCoreApplication::processEvents();
        return m_page->messageBox()->toPlainText();
    }
    QPushButton* button(const char* name) { return m_page->findChild<QPushButton*>(QString::fromLatin1(name)); }
    QTableWidget* list() { return m_page->findChild<QTableWidget*>(QStringLiteral("iconList")); }
    void chooseSize(int edge)
    {
        auto* combo = m_page->findChild<QComboBox*>(QStringLiteral("iconSize"));
        for (int i = 0; i < combo->count(); ++i)
            if (combo->itemText(i).endsWith(QStringLiteral("[%1*%1]").arg(edge)))
                combo->setCurrentIndex(i);
        ASSERT_EQ(m_page->selectedSize(), edge);
    }
    // Clicks the button and waits for the worker and the page.
    void run(const char* name)
    {
        QPushButton* b = button(name);
        ASSERT_TRUE(b->isEnabled()) << name;
        QTest::mouseClick(b, Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([this] { return !m_page->isBusy() && !TaskWorker().isRunning(); }));
        QCoreApplication::processEvents();
    }
    QString programWithSixtyIcons()
    {
        std::vector<IconGroupSpec> groups;
        for (int i = 0; i < 60; ++i)
            groups.push_back({{32, 32, MakeDibIconImage(32, 32, groupColour(i))}});
        const QString path = m_dir + QStringLiteral("/sixty.exe");
        writeFile(path, MakePeFile(groups, true).bytes);
        return path;
    }
    QString icoWithThreeSizes()
    {
        const QString path = m_dir + QStringLiteral("/three.ico");
        writeFile(path, MakeIcoFile({{16, 4, MakeDibIconImage(16, 4, Qt::red)},
                                     {32, 32, MakeDibIconImage(32, 32, Qt::green)},
                                     {256, 32, MakePngIconImage(256, Qt::blue)}}));
        return path;
    }

    QString m_dir, m_wim;
    std::unique_ptr<IconPage> m_page;
};

} // namespace

// A picture's pure white becomes transparent at every size, in the icon as
// it is made and as the ICO round trip shows it; its other pixels stay.
TEST_F(IconPageTest, WhiteOfAPictureIsTransparentAtEverySize)
{
    const QString jpeg = m_dir + QStringLiteral("/white.jpg");
    writeWhiteJpeg(jpeg);
    IconSource source;
    ASSERT_TRUE(source.load(jpeg));
    EXPECT_EQ(source.count(), 1);
    m_page->setIconSource(jpeg);
    m_page->selectCell(0, 1);
    ASSERT_EQ(m_page->selectedIndex(), 0);
    for (int edge : kIconSizes) {
        SCOPED_TRACE(edge);
        const QImage icon = source.icon(edge, 0);
        ASSERT_EQ(icon.size(), QSize(edge, edge));
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(icon.pixel(edge - 1, edge - 1)), 0);
        EXPECT_EQ(qAlpha(icon.pixel(edge / 2, edge / 2)), 255);
        EXPECT_GT(qRed(icon.pixel(edge / 2, edge / 2)), 180);
        chooseSize(edge);
        const QImage shown = m_page->chosenPreview();
        ASSERT_EQ(shown.size(), QSize(edge, edge));
        EXPECT_EQ(qAlpha(shown.pixel(0, 0)), 0);
        EXPECT_EQ(shown.pixel(edge / 2, edge / 2), icon.pixel(edge / 2, edge / 2));
    }
}

// A picture above 512 pixels is refused with 302 and leaves no icon list;
// one at the limit is taken.
TEST_F(IconPageTest, PictureAbove512PixelsIsRefused)
{
    const QString big = m_dir + QStringLiteral("/big.png");
    QImage picture(600, 400, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(picture.save(big, "PNG"));
    m_page->setIconSource(big);
    EXPECT_TRUE(info().contains(L(302)));
    EXPECT_EQ(m_page->iconCount(), 0);
    EXPECT_FALSE(button("saveIcon")->isEnabled());

    const QString edge = m_dir + QStringLiteral("/edge.png");
    ASSERT_TRUE(picture.copy(0, 0, 512, 400).save(edge, "PNG"));
    m_page->setIconSource(edge);
    EXPECT_EQ(m_page->iconCount(), 1);
}

// A program with 60 icons fills six rows of ten; the cell in row 5, column 4
// (clicked with the mouse) is icon 53, which the preview then shows.
TEST_F(IconPageTest, SixtyIconsFillSixRowsAndRow5Column4IsIcon53)
{
    m_page->setIconSource(programWithSixtyIcons());
    ASSERT_EQ(m_page->iconCount(), 60);
    QTableWidget* table = list();
    EXPECT_EQ(table->rowCount(), 6);
    EXPECT_EQ(table->item(5, 0)->text(), QStringLiteral("5"));
    bool titled = false;
    for (QGroupBox* g : m_page->findChildren<QGroupBox*>())
        titled = titled || g->title() == L(211) + QStringLiteral("[60]");
    EXPECT_TRUE(titled);

    table->scrollToItem(table->item(5, 4));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualItemRect(table->item(5, 4)).center());
    EXPECT_EQ(m_page->selectedIndex(), 53);
    EXPECT_EQ(table->horizontalHeaderItem(0)->text(), QStringLiteral("53"));
    chooseSize(48);
    const QImage shown = m_page->chosenPreview();
    ASSERT_EQ(shown.size(), QSize(48, 48));
    EXPECT_EQ(shown.pixelColor(24, 24), groupColour(53));
    EXPECT_FALSE(button("writeIcon")->isEnabled()) << "no image file yet";
    m_page->setImageFile(m_wim);
    EXPECT_TRUE(button("writeIcon")->isEnabled());

    // Beyond the icons and the row-number column nothing is selected.
    m_page->selectCell(6, 1);
    m_page->selectCell(2, 0);
    EXPECT_EQ(m_page->selectedIndex(), 53);
}

// Writing keeps the mount settings image 1 already carries; deleting takes
// the icon away and keeps them too; deleting again finds no icon (200, 202).
TEST_F(IconPageTest, WriteAndDeleteKeepTheMountSettings)
{
    MOUNTSETTINGS settings;
    settings.MountRW = 1;
    settings.MountPath = QStringLiteral("/mnt/kestrel");
    settings.MountRunCmd = QStringLiteral("echo mounted");
    ASSERT_TRUE(WriteMountSettings(m_wim, settings));
    m_page->setImageFile(m_wim);
    EXPECT_FALSE(button("deleteIcon")->isEnabled()) << "no icon stored yet";
    m_page->setIconSource(icoWithThreeSizes());
    m_page->selectCell(0, 1);
    chooseSize(24);
    run("writeIcon");
    const QString log = info();
    EXPECT_TRUE(log.startsWith(L(195))) << log.toStdString();
    for (int n : {11, 13, 14, 197, 16, 18})
        EXPECT_TRUE(log.contains(L(n) + L(21))) << n << log.toStdString();
    EXPECT_TRUE(log.trimmed().endsWith(L(201)));
    EXPECT_FALSE(log.contains(L(22)));

    pugi::xml_document document;
    ASSERT_TRUE(ImagexDocument(m_wim, document));
    pugi::xml_node own = ImagexImage(document, 1).child("KESTREL");
    EXPECT_STREQ(own.child_value("MOUNTPATH"), "/mnt/kestrel");
    EXPECT_STREQ(own.child_value("MOUNTRUNCMD"), "echo mounted");
    EXPECT_FALSE(QString::fromUtf8(own.child_value("ICON")).isEmpty());
    EXPECT_TRUE(ImagexVerifies(m_wim));
    EXPECT_EQ(m_page->storedIcon().Width, 24) << "stored at the chosen size, from the nearest larger image";
    EXPECT_EQ(m_page->storedIcon().Large.pixelColor(128, 128), QColor(Qt::green));
    EXPECT_TRUE(button("deleteIcon")->isEnabled());

    run("deleteIcon");
    EXPECT_TRUE(info().startsWith(L(196)));
    EXPECT_TRUE(info().contains(L(198) + L(21)));
    ASSERT_TRUE(ImagexDocument(m_wim, document));
    own = ImagexImage(document, 1).child("KESTREL");
    EXPECT_FALSE(own.child("ICON"));
    EXPECT_STREQ(own.child_value("MOUNTPATH"), "/mnt/kestrel");
    EXPECT_FALSE(m_page->storedIcon().Found);
    EXPECT_FALSE(button("deleteIcon")->isEnabled());

    // The button is off now; the page's own action still runs the task.
    m_page->deleteIcon();
    ASSERT_TRUE(WaitUntil([this] { return !m_page->isBusy() && !TaskWorker().isRunning(); }));
    const QString again = info();
    EXPECT_TRUE(again.contains(L(198) + L(22))) << again.toStdString();
    EXPECT_TRUE(again.contains(L(200)));
    EXPECT_TRUE(again.trimmed().endsWith(L(202)));
    ASSERT_TRUE(ImagexDocument(m_wim, document));
    EXPECT_STREQ(ImagexImage(document, 1).child("KESTREL").child_value("MOUNTPATH"), "/mnt/kestrel");
}

// A file that cannot be opened for writing fails at step 11 and ends with
// 202; so does a file that is no image file at all.
TEST_F(IconPageTest, FileThatCannotBeWrittenFailsAfterOpening)
{
    const QString notImage = m_dir + QStringLiteral("/text.wim");
    writeFile(notImage, "this is no image file");
    const QString locked = m_dir + QStringLiteral("/locked.wim");
    ASSERT_TRUE(QFile::copy(m_wim, locked));
    bool immutable = false;
    if (::geteuid() == 0) {
        // Permissions do not hold back root; the immutable attribute does.
        immutable = RunTool(QStringLiteral("chattr"), {QStringLiteral("+i"), locked}) == 0;
    } else {
        ASSERT_TRUE(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    }
    m_page->setIconSource(icoWithThreeSizes());
    m_page->selectCell(0, 1);
    QStringList files{notImage};
    if (::geteuid() != 0 || immutable)
        files << locked;
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        m_page->setImageFile(file);
        m_page->writeIcon();
        ASSERT_TRUE(WaitUntil([this] { return !m_page->isBusy() && !TaskWorker().isRunning(); }));
        const QString log = info();
        EXPECT_TRUE(log.contains(L(11) + L(22))) << log.toStdString();
        EXPECT_FALSE(log.contains(L(13)));
        EXPECT_TRUE(log.trimmed().endsWith(L(202)));
    }
    if (immutable)
        RunTool(QStringLiteral("chattr"), {QStringLiteral("-i"), locked});
    if (files.size() == 1)
        GTEST_SKIP() << "running as root without chattr: the read-only case was not tried";
    EXPECT_FALSE(ReadImageIcon(locked, 32, 0).Found);
}

// A split file shows 194 and keeps writing and deleting off.
TEST_F(IconPageTest, SplitFileCannotTakeAnIcon)
{
    const QString big = m_dir + QStringLiteral("/big.wim");
    const QString source = m_dir + QStringLiteral("/src");
    MakeSourceTree(source, 3, 400000);
    ASSERT_TRUE(WriteImageFile(source, big, 0));
    const QStringList parts = SplitImageFile(big, m_dir + QStringLiteral("/part.swm"), 500000);
    ASSERT_GE(parts.size(), 2);
    m_page->setIconSource(icoWithThreeSizes());
    m_page->selectCell(0, 1);
    m_page->setImageFile(parts.front());
    EXPECT_TRUE(info().contains(L(194)));
    EXPECT_FALSE(button("writeIcon")->isEnabled());
    EXPECT_FALSE(button("deleteIcon")->isEnabled());
    EXPECT_TRUE(button("saveIcon")->isEnabled());
}

// Saving writes an ICO that Qt's own reader opens at the chosen size; an
// existing file is replaced only after Yes, and No logs 210.
TEST_F(IconPageTest, SaveAsIcoAsksBeforeReplacing)
{
    const QString target = m_dir + QStringLiteral("/saved.ico");
    m_page->setSavePathPicker([target] { return target; });
    m_page->setIconSource(programWithSixtyIcons());
    m_page->selectCell(1, 3); // icon 12
    chooseSize(256);
    run("saveIcon");
    QImageReader reader(target, "ico");
    QImage saved = reader.read();
    ASSERT_FALSE(saved.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(saved.size(), QSize(256, 256));
    EXPECT_EQ(saved.pixelColor(128, 128), groupColour(12));
    EXPECT_TRUE(info().contains(L(205) + QStringLiteral("...") + L(21)));

    chooseSize(16);
    {
        BoxAnswerer no({QMessageBox::No});
        run("saveIcon");
        ASSERT_EQ(no.count(), 1);
        EXPECT_TRUE(no.texts().front().contains(L(209)));
        EXPECT_EQ(no.titles().front(), L(207));
    }
    EXPECT_TRUE(info().contains(L(210)));
    EXPECT_EQ(QImage(target, "ico").size(), QSize(256, 256));
    {
        BoxAnswerer yes({QMessageBox::Yes});
        run("saveIcon");
        ASSERT_EQ(yes.count(), 1);
    }
    EXPECT_EQ(QImage(target, "ico").size(), QSize(16, 16));
    EXPECT_EQ(IcoBytesToImage([&] {
                  QFile f(target);
                  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
              }()).pixelColor(8, 8),
              groupColour(12));
}

// The rebuild button removes the image files' thumbnails and says so.
TEST_F(IconPageTest, RebuildRemovesTheImageFilesThumbnails)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/thumbnails/large");
    QDir().mkpath(folder);
    auto thumbnail = [&](const QString& name, const QString& uri) {
        QImage image(4, 4, QImage::Format_ARGB32);
        image.fill(Qt::red);
        image.setText(QStringLiteral("Thumb::URI"), uri);
        EXPECT_TRUE(image.save(folder + u'/' + name, "PNG"));
        return folder + u'/' + name;
    };
    const QString wim = thumbnail(QStringLiteral("w.png"), QStringLiteral("file://") + m_wim);
    const QString photo = thumbnail(QStringLiteral("p.png"), QStringLiteral("file:///x/photo.png"));
    run("rebuildCache");
    EXPECT_FALSE(QFile::exists(wim));
    EXPECT_TRUE(QFile::exists(photo));
    EXPECT_TRUE(info().contains(L(204)));
}

// SVG files, the way Linux programs ship their icons, are drawn at each size.
TEST_F(IconPageTest, SvgSourceIsDrawnAtTheChosenSize)
{
    if (!QImageReader::supportedImageFormats().contains("svg"))
        GTEST_SKIP() << "Qt's SVG image plugin is not installed (scripts/setup.sh installs it)";
    const QString svg = m_dir + QStringLiteral("/app.svg");
    writeFile(svg, "<svg xmlns='http://www.w3.org/2000/svg' width='24' height='24'>"
                   "<rect x='4' y='4' width='16' height='16' fill='#00ff00'/></svg>");
    m_page->setIconSource(svg);
    ASSERT_EQ(m_page->iconCount(), 1);
    m_page->selectCell(0, 1);
    chooseSize(96);
    const QImage shown = m_page->chosenPreview();
    ASSERT_EQ(shown.size(), QSize(96, 96));
    EXPECT_EQ(shown.pixelColor(48, 48), QColor(0, 255, 0));
    EXPECT_EQ(qAlpha(shown.pixel(2, 2)), 0);
}

// Drops: an image file on its box when it is ".WIM" or ".ESD", an icon
// source on the source box, the list or the preview when its extension is
// in the picker's pattern; anything else is left alone.
TEST_F(IconPageTest, DropsGoToTheFieldUnderThePointer)
{
    auto drop = [this](const QString& file, const char* target) {
        QWidget* w = m_page->findChild<QWidget*>(QString::fromLatin1(target));
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(file)});
        const QPoint at = w->mapTo(m_page.get(), w->rect().center());
        // Qt delivers a drop only to a widget that accepted the drag first.
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_page.get(), &enter);
        QDropEvent event(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_page.get(), &event);
    };
    auto text = [this](const char* name) { return m_page->findChild<QLineEdit*>(QString::fromLatin1(name))->text(); };
    const QString ico = icoWithThreeSizes();
    const QString esd = m_dir + QStringLiteral("/x.Esd");
    writeFile(esd, "x");
    drop(esd, "imageFile");
    EXPECT_EQ(text("imageFile"), esd);
    drop(ico, "imageFile");
    EXPECT_EQ(text("imageFile"), esd);
    drop(ico, "iconList");
    EXPECT_EQ(text("iconSource"), ico);
    EXPECT_EQ(m_page->iconCount(), 1);
    drop(m_wim, "chosenPreview");
    EXPECT_EQ(text("iconSource"), ico);
    const QString svg = m_dir + QStringLiteral("/a.SVG");
    writeFile(svg, "<svg/>");
    drop(svg, "iconSource");
    EXPECT_EQ(text("iconSource"), svg);
}
