// SPDX-License-Identifier: GPL-3.0-or-later
// The mount side of the mount and apply page with real FUSE mounts. Every
// test unmounts what it mounted, also when it fails, so that no mount is
// left behind.
#include "pages/mountpage.h"

#include "common/language.h"
#include "pagedriver.h"
#include "support/testenv.h"
#include "wimfixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <memory>

namespace {

QString L(int n)
{
    return GetLanguageString(n);
}

// Leaves no mount behind: discards through the layer, then detaches lazily
// whatever is still mounted.
struct MountCleanup {
    QStringList folders;
    ~MountCleanup()
    {
        for (const QString& f : folders) {
            if (!IsMountPoint(f))
                continue;
            if (ImagingApi.WIMUnmountImage)
                ImagingApi.WIMUnmountImage(reinterpret_cast<const char16_t*>(f.utf16()), nullptr, 0, FALSE);
            if (IsMountPoint(f))
                RunTool(QStringLiteral("fusermount"), {QStringLiteral("-u"), QStringLiteral("-z"), f}, 20000);
        }
    }
};

class MountPageFuseTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!PageTestSetupProblem().isEmpty())
            GTEST_SKIP() << PageTestSetupProblem().toStdString();
        const QString why = FuseProblem();
        if (!why.isEmpty())
            GTEST_SKIP() << "no FUSE mounts here: " << why.toStdString();
        m_dir = MakeTestDir(QStringLiteral("fuse"));
        m_source = m_dir + QStringLiteral("/source");
        MakeSourceTree(m_source);
        m_wim = m_dir + QStringLiteral("/image.wim");
        ASSERT_TRUE(WriteImageFile(m_source, m_wim, 2));
        m_mount = m_dir + QStringLiteral("/mnt");
        QDir().mkpath(m_mount);
        m_cleanup.folders << m_mount;
        m_page = std::make_unique<MountPage>();
        m_page->show();
        box("openWhenDone")->setChecked(false);
        box("doubleClickOpensFolder")->setChecked(false);
    }

    void TearDown() override { m_page.reset(); }

    QLineEdit* field(const char* name) { return m_page->findChild<QLineEdit*>(QString::fromLatin1(name)); }
    QPushButton* button(const char* name) { return m_page->findChild<QPushButton*>(QString::fromLatin1(name)); }
    QCheckBox* box(const char* name) { return m_page->findChild<QCheckBox*>(QString::fromLatin1(name)); }
    QTreeWidget* list() { return m_page->findChild<QTreeWidget*>(QStringLiteral("mountedImages")); }
    QString info()
    {
        QCoreApplication::processEvents();
        return m_page->messageBox()->toPlainText();
    }

    // Mounts image 1 read-write through the page and changes a.txt in it.
    void mountAndChange(const QByteArray& text)
    {
        field("imageFile")->setText(m_wim);
        field("targetFolder")->setText(m_mount);
        box("readWrite")->setChecked(true);
        QTest::mouseClick(button("mount"), Qt::LeftButton);
        ASSERT_TRUE(IsMountPoint(m_mount)) << info().toStdString();
        QFile f(m_mount + QStringLiteral("/a.txt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    // a.txt as image 1 of the file holds it now, read by wimlib-imagex.
    QByteArray imageText()
    {
        const QString check = MakeTestDir(QStringLiteral("check"));
        if (RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("apply"), m_wim, QStringLiteral("1"), check}) != 0)
            return "(apply failed)";
        QFile a(check + QStringLiteral("/a.txt"));
        return a.open(QIODevice::ReadOnly) ? a.readAll() : QByteArray("(missing)");
    }

    void doubleClickHeader()
    {
        QHeaderView* header = list()->header();
        const QPoint at(header->sectionViewportPosition(MountPage::kColMountPath) + 4, header->height() / 2);
        QTest::mouseDClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QCoreApplication::processEvents();
    }

    QString m_dir, m_source, m_wim, m_mount;
    MountCleanup m_cleanup;
    std::unique_ptr<MountPage> m_page;
};

TEST_F(MountPageFuseTest, ReadWriteMountChangedAndCommittedKeepsTheChange)
{
    field("imageFile")->setText(m_wim);
    field("targetFolder")->setText(m_mount);
    ASSERT_TRUE(box("readWrite")->isEnabled());
    box("readWrite")->setChecked(true);
    ASSERT_TRUE(button("mount")->isEnabled());
    QTest::mouseClick(button("mount"), Qt::LeftButton);
    ASSERT_TRUE(IsMountPoint(m_mount)) << info().toStdString();
    EXPECT_TRUE(info().endsWith(L(25) + L(21) + u'\n')) << info().toStdString();

    QTreeWidgetItem* row = m_page->findRow(m_mount);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->text(MountPage::kColImageFile), m_wim);
    EXPECT_EQ(row->text(MountPage::kColIndex), QStringLiteral("1"));
    EXPECT_EQ(row->text(MountPage::kColReadWrite), L(23));
    // A mount folder is never mounted into again; it can be unmounted.
    EXPECT_FALSE(button("mount")->isEnabled());
    EXPECT_TRUE(button("unmount")->isEnabled());

    {
        QFile f(m_mount + QStringLiteral("/a.txt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("changed in the mount\n");
    }
    BoxAnswerer commit({QMessageBox::Yes});
    QTest::mouseClick(button("unmount"), Qt::LeftButton);
    ASSERT_EQ(commit.count(), 1);
    EXPECT_EQ(commit.titles().value(0), L(28));
    EXPECT_EQ(commit.texts().value(0), L(29) + u'\n' + L(30) + u'\n' + u'\n' + L(31));
    EXPECT_FALSE(IsMountPoint(m_mount));
    EXPECT_FALSE(m_page->findRow(m_mount));
    EXPECT_TRUE(info().endsWith(L(32) + L(21) + u'\n')) << info().toStdString();

    EXPECT_EQ(RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("verify"), m_wim}), 0);
    EXPECT_EQ(imageText(), QByteArray("changed in the mount\n"));
}

TEST_F(MountPageFuseTest, OtherToolsMountsComeAndGoAndLockedRowsStay)
{
    QString out;
    ASSERT_EQ(RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("mount"), m_wim, QStringLiteral("1"), m_mount},
                      60000, &out),
              0)
        << out.toStdString();
    ASSERT_TRUE(IsMountPoint(m_mount));
    EXPECT_FALSE(m_page->findRow(m_mount));
    QTest::mouseClick(button("refresh"), Qt::LeftButton);
    QTreeWidgetItem* row = m_page->findRow(m_mount);
    ASSERT_TRUE(row) << info().toStdString();
    EXPECT_EQ(row->text(MountPage::kColReadWrite), L(24));
    QString count = L(48);
    count.replace(QStringLiteral("%u"), QStringLiteral("1"));
    EXPECT_TRUE(info().endsWith(L(47) + L(21) + u'\n' + count + u'\n')) << info().toStdString();

    // Locked: the header's unmount-all leaves it, and says why.
    row->setCheckState(MountPage::kColLock, Qt::Checked);
    ASSERT_TRUE(box("headerUnmountsAll")->isChecked());
    doubleClickHeader();
    EXPECT_TRUE(IsMountPoint(m_mount));
    EXPECT_TRUE(info().endsWith(L(50) + u'\n')) << info().toStdString();
    // So does a double-click on its image file.
    row = m_page->findRow(m_mount);
    ASSERT_TRUE(row);
    m_page->rowDoubleClicked(row, MountPage::kColImageFile);
    EXPECT_TRUE(IsMountPoint(m_mount));

    // Unmounted by the other tool: refresh drops the row.
    ASSERT_EQ(RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("unmount"), m_mount}), 0);
    QTest::mouseClick(button("refresh"), Qt::LeftButton);
    EXPECT_FALSE(m_page->findRow(m_mount));
}

TEST_F(MountPageFuseTest, HeaderDoubleClickUnmountsUnlockedRowsWithoutCommit)
{
    mountAndChange("discarded\n");
    if (HasFatalFailure())
        return;
    BoxAnswerer none({QMessageBox::Cancel});
    doubleClickHeader();
    EXPECT_EQ(none.count(), 0) << "unmount-all asks nothing";
    EXPECT_FALSE(IsMountPoint(m_mount));
    EXPECT_FALSE(m_page->findRow(m_mount));
    QString line = L(49);
    line.replace(QStringLiteral("%s"), m_wim);
    EXPECT_TRUE(info().contains(line + L(21))) << info().toStdString();

    EXPECT_EQ(imageText(), QByteArray("alpha\n"));
}

TEST_F(MountPageFuseTest, RefreshCleansUpAMountWhoseFileIsGoneOnlyWhenAsked)
{
    field("imageFile")->setText(m_wim);
    field("targetFolder")->setText(m_mount);
    box("readWrite")->setChecked(false);
    QTest::mouseClick(button("mount"), Qt::LeftButton);
    ASSERT_TRUE(IsMountPoint(m_mount)) << info().toStdString();
    ASSERT_TRUE(QFile::remove(m_wim));

    box("cleanInvalidMounts")->setChecked(false);
    QTest::mouseClick(button("refresh"), Qt::LeftButton);
    EXPECT_TRUE(IsMountPoint(m_mount));
    EXPECT_TRUE(m_page->findRow(m_mount));

    box("cleanInvalidMounts")->setChecked(true);
    QTest::mouseClick(button("refresh"), Qt::LeftButton);
    EXPECT_FALSE(IsMountPoint(m_mount));
    EXPECT_FALSE(m_page->findRow(m_mount));
}

TEST_F(MountPageFuseTest, RowDoubleClickDiscardsAReadWriteMountWithoutAsking)
{
    mountAndChange("discarded\n");
    if (HasFatalFailure())
        return;
    QTreeWidgetItem* row = m_page->findRow(m_mount);
    ASSERT_TRUE(row);
    const QPoint at(list()->header()->sectionViewportPosition(MountPage::kColImageFile) + 4,
                    list()->visualItemRect(row).center().y());
    BoxAnswerer none({QMessageBox::Cancel});
    ASSERT_FALSE(list()->visualItemRect(row).isEmpty());
    // A double-click as the window system delivers it: press, release, then
    // the double-click on the item just pressed.
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QCoreApplication::processEvents();
    EXPECT_EQ(none.count(), 0) << "a double-click never asks";
    EXPECT_FALSE(IsMountPoint(m_mount));
    EXPECT_FALSE(m_page->findRow(m_mount));

    EXPECT_EQ(imageText(), QByteArray("alpha\n"));
}

TEST_F(MountPageFuseTest, UnmountedRowLeavesTheBoxesOnItsOwnMount)
{
    // Two read-only mounts; the user picks the first row and unmounts it.
    const QString second = m_dir + QStringLiteral("/mnt2");
    QDir().mkpath(second);
    m_cleanup.folders << second;
    box("readWrite")->setChecked(false);
    for (const QString& folder : {m_mount, second}) {
        field("imageFile")->setText(m_wim);
        field("targetFolder")->setText(folder);
        QTest::mouseClick(button("mount"), Qt::LeftButton);
        ASSERT_TRUE(IsMountPoint(folder)) << info().toStdString();
    }
    QTreeWidgetItem* row = m_page->findRow(m_mount);
    ASSERT_TRUE(row);
    const QPoint at(list()->header()->sectionViewportPosition(MountPage::kColMountPath) + 4,
                    list()->visualItemRect(row).center().y());
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_EQ(field("targetFolder")->text(), m_mount);

    BoxAnswerer none({QMessageBox::Cancel});
    QTest::mouseClick(button("unmount"), Qt::LeftButton);
    EXPECT_FALSE(IsMountPoint(m_mount));
    // The boxes still name the mount just removed, so a second click (or an
    // impatient double-click) cannot unmount the other one.
    EXPECT_EQ(field("targetFolder")->text().toStdString(), m_mount.toStdString());
    EXPECT_FALSE(button("unmount")->isEnabled());
    QTest::mouseClick(button("unmount"), Qt::LeftButton);
    EXPECT_TRUE(IsMountPoint(second));
    EXPECT_TRUE(m_page->findRow(second));

    // Refresh after another tool unmounts the selected row does the same.
    row = m_page->findRow(second);
    ASSERT_TRUE(row);
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(at.x(), list()->visualItemRect(row).center().y()));
    ASSERT_EQ(field("targetFolder")->text(), second);
    ASSERT_EQ(RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("unmount"), second}), 0);
    QTest::mouseClick(button("refresh"), Qt::LeftButton);
    EXPECT_FALSE(m_page->findRow(second));
    EXPECT_EQ(field("targetFolder")->text().toStdString(), second.toStdString());
    EXPECT_EQ(none.count(), 0);
}

} // namespace
