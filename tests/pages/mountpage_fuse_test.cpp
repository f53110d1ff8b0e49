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
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <algorithm>
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

    // Mount steps run on the worker: waits until the page is idle again.
    void settle() { ASSERT_TRUE(WaitUntil([this] { return !m_page->isBusy(); })); }
    void click(const char* name)
    {
        QTest::mouseClick(button(name), Qt::LeftButton);
        settle();
    }

    // Rows of mounts that other tests (running beside this one) made are
    // locked, so that the header's unmount-all touches only this test's own.
    void lockForeignRows()
    {
        for (int i = 0; i < list()->topLevelItemCount(); ++i) {
            QTreeWidgetItem* row = list()->topLevelItem(i);
            if (!row->text(MountPage::kColMountPath).startsWith(m_dir + u'/'))
                row->setCheckState(MountPage::kColLock, Qt::Checked);
        }
    }

    void mount(const QString& folder, bool readWrite)
    {
        field("imageFile")->setText(m_wim);
        field("targetFolder")->setText(folder);
        box("readWrite")->setChecked(readWrite);
        click("mount");
        ASSERT_TRUE(IsMountPoint(folder)) << info().toStdString();
    }

    void writeIn(const QString& folder, const QByteArray& text)
    {
        QFile f(folder + QStringLiteral("/a.txt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    QByteArray mountedText(const QString& folder)
    {
        QFile f(folder + QStringLiteral("/a.txt"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }

    // Double-clicks a row's image file as the window system delivers it:
    // press, release, then the double-click on the item just pressed.
    void doubleClickRow(const QString& folder)
    {
        QTreeWidgetItem* row = m_page->findRow(folder);
        ASSERT_TRUE(row);
        list()->scrollToItem(row);
        ASSERT_FALSE(list()->visualItemRect(row).isEmpty());
        const QPoint at(list()->header()->sectionViewportPosition(MountPage::kColImageFile) + 4,
                        list()->visualItemRect(row).center().y());
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        settle();
    }

    QString newFolder(const QString& name)
    {
        const QString folder = m_dir + u'/' + name;
        QDir().mkpath(folder);
        m_cleanup.folders << folder;
        return folder;
    }

    // Mounts image 1 read-write through the page and changes a.txt in it.
    void mountAndChange(const QByteArray& text)
    {
        mount(m_mount, true);
        if (!HasFatalFailure())
            writeIn(m_mount, text);
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
        settle();
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
    // The mount runs on the worker: the page is locked and shows the step.
    EXPECT_TRUE(m_page->isBusy());
    EXPECT_FALSE(button("unmount")->isEnabled());
    settle();
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
    click("unmount");
    ASSERT_EQ(commit.count(), 1);
    EXPECT_EQ(commit.titles().value(0), L(28));
    EXPECT_EQ(commit.texts().value(0), L(29) + u'\n' + L(30) + u'\n' + u'\n' + L(31));
    EXPECT_FALSE(IsMountPoint(m_mount));
    EXPECT_FALSE(m_page->findRow(m_mount));
    EXPECT_TRUE(info().endsWith(L(32) + L(21) + u'\n')) << info().toStdString();

    EXPECT_EQ(RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("verify"), m_wim}), 0);
    EXPECT_EQ(imageText(), QByteArray("changed in the mount\n"));
}

TEST_F(MountPageFuseTest, CommitMovesTheBarToTheEnd)
{
    mount(m_mount, true);
    {
        // Enough new data that the commit writes in several progress steps.
        QFile f(m_mount + QStringLiteral("/big.bin"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray block(1 << 20, '\0');
        for (int i = 0; i < 12; ++i) {
            for (int j = 0; j < block.size(); j += 4)
                *reinterpret_cast<quint32*>(block.data() + j) = quint32(i * 2654435761u + j * 40503u);
            f.write(block);
        }
    }
    QProgressBar* bar = m_page->findChild<QProgressBar*>(QStringLiteral("progress"));
    ASSERT_TRUE(bar);
    QList<int> seen;
    QObject::connect(bar, &QProgressBar::valueChanged, bar, [&seen](int v) { seen << v; });
    BoxAnswerer commit({QMessageBox::Yes});
    click("unmount");
    ASSERT_FALSE(IsMountPoint(m_mount)) << info().toStdString();
    // The bar was measured, not only busy: it went up to the end.
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(*std::max_element(seen.begin(), seen.end()), 100);
    EXPECT_EQ(RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("verify"), m_wim}), 0);
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
    {
        // A page shown for the first time lists the machine's mounts, on
        // the worker.
        MountPage fresh;
        fresh.show();
        fresh.pageShown();
        EXPECT_TRUE(fresh.isBusy());
        ASSERT_TRUE(WaitUntil([&fresh] { return !fresh.isBusy(); }));
        EXPECT_TRUE(fresh.findRow(m_mount));
    }
    click("refresh");
    QTreeWidgetItem* row = m_page->findRow(m_mount);
    ASSERT_TRUE(row) << info().toStdString();
    EXPECT_EQ(row->text(MountPage::kColReadWrite), L(24));
    // Other tests may have mounts of their own meanwhile: any count will do.
    QStringList around = L(48).split(QStringLiteral("%u"));
    for (QString& part : around)
        part = QRegularExpression::escape(part);
    const QString count = around.join(QStringLiteral("[1-9][0-9]*"));
    EXPECT_TRUE(QRegularExpression(QRegularExpression::escape(L(47) + L(21) + u'\n') + count + QStringLiteral("\n$"))
                    .match(info())
                    .hasMatch())
        << info().toStdString();

    // Locked: the header's unmount-all leaves it, and says why.
    lockForeignRows();
    row->setCheckState(MountPage::kColLock, Qt::Checked);
    ASSERT_TRUE(box("headerUnmountsAll")->isChecked());
    doubleClickHeader();
    EXPECT_TRUE(IsMountPoint(m_mount));
    EXPECT_TRUE(info().endsWith(L(50) + u'\n')) << info().toStdString();
    // So does a double-click on its image file.
    row = m_page->findRow(m_mount);
    ASSERT_TRUE(row);
    m_page->rowDoubleClicked(row, MountPage::kColImageFile);
    settle();
    EXPECT_TRUE(IsMountPoint(m_mount));

    // Unmounted by the other tool: refresh drops the row.
    ASSERT_EQ(RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("unmount"), m_mount}), 0);
    click("refresh");
    EXPECT_FALSE(m_page->findRow(m_mount));
}

// One read-write and one read-only unlocked row and one locked row: one
// question for all; the answer decides for the read-write mount, the locked
// row stays whatever the answer.
TEST_F(MountPageFuseTest, HeaderDoubleClickAsksOnceWhenARowHoldsChanges)
{
    const QString readOnly = newFolder(QStringLiteral("ro"));
    const QString locked = newFolder(QStringLiteral("locked"));
    mountAndChange("changed\n");
    if (HasFatalFailure())
        return;
    mount(readOnly, false);
    mount(locked, false);
    if (HasFatalFailure())
        return;
    lockForeignRows();
    m_page->findRow(locked)->setCheckState(MountPage::kColLock, Qt::Checked);

    {
        BoxAnswerer cancel({QMessageBox::Cancel});
        doubleClickHeader();
        EXPECT_EQ(cancel.count(), 1);
        EXPECT_EQ(cancel.titles().value(0), L(28));
    }
    EXPECT_TRUE(IsMountPoint(m_mount));
    EXPECT_TRUE(IsMountPoint(readOnly));
    EXPECT_EQ(mountedText(m_mount), QByteArray("changed\n"));

    {
        BoxAnswerer discard({QMessageBox::No});
        doubleClickHeader();
        EXPECT_EQ(discard.count(), 1);
    }
    EXPECT_FALSE(IsMountPoint(m_mount));
    EXPECT_FALSE(IsMountPoint(readOnly));
    EXPECT_TRUE(IsMountPoint(locked)) << "a locked row was unmounted";
    EXPECT_TRUE(m_page->findRow(locked));
    // Each line names the folder and what became of its changes.
    QString rw = L(376), ro = L(377);
    rw.replace(QStringLiteral("%s"), m_mount);
    ro.replace(QStringLiteral("%s"), readOnly);
    EXPECT_TRUE(info().contains(rw + L(21))) << info().toStdString();
    EXPECT_TRUE(info().contains(ro + L(21))) << info().toStdString();
    EXPECT_EQ(imageText(), QByteArray("alpha\n"));

    // Yes commits the read-write mount.
    mountAndChange("committed\n");
    if (HasFatalFailure())
        return;
    BoxAnswerer commit({QMessageBox::Yes});
    doubleClickHeader();
    EXPECT_EQ(commit.count(), 1);
    EXPECT_FALSE(IsMountPoint(m_mount));
    EXPECT_TRUE(IsMountPoint(locked));
    EXPECT_EQ(RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("verify"), m_wim}), 0);
    EXPECT_EQ(imageText(), QByteArray("committed\n"));
}

TEST_F(MountPageFuseTest, RefreshCleansUpAMountWhoseFileIsGoneOnlyWhenAsked)
{
    field("imageFile")->setText(m_wim);
    field("targetFolder")->setText(m_mount);
    box("readWrite")->setChecked(false);
    click("mount");
    ASSERT_TRUE(IsMountPoint(m_mount)) << info().toStdString();
    ASSERT_TRUE(QFile::remove(m_wim));

    box("cleanInvalidMounts")->setChecked(false);
    click("refresh");
    EXPECT_TRUE(IsMountPoint(m_mount));
    EXPECT_TRUE(m_page->findRow(m_mount));

    box("cleanInvalidMounts")->setChecked(true);
    click("refresh");
    EXPECT_FALSE(IsMountPoint(m_mount));
    EXPECT_FALSE(m_page->findRow(m_mount));
}

// A double-click on a read-write row asks as the unmount button does;
// Cancel keeps the mount and its change, No discards, Yes commits.
TEST_F(MountPageFuseTest, RowDoubleClickAsksBeforeAReadWriteMountGoes)
{
    mountAndChange("kept\n");
    if (HasFatalFailure())
        return;
    {
        BoxAnswerer cancel({QMessageBox::Cancel});
        doubleClickRow(m_mount);
        ASSERT_EQ(cancel.count(), 1);
        EXPECT_EQ(cancel.texts().value(0), L(29) + u'\n' + L(30) + u'\n' + u'\n' + L(31));
    }
    ASSERT_TRUE(IsMountPoint(m_mount));
    EXPECT_EQ(mountedText(m_mount), QByteArray("kept\n"));
    EXPECT_TRUE(m_page->findRow(m_mount));
    {
        BoxAnswerer discard({QMessageBox::No});
        doubleClickRow(m_mount);
        EXPECT_EQ(discard.count(), 1);
    }
    EXPECT_FALSE(IsMountPoint(m_mount));
    EXPECT_FALSE(m_page->findRow(m_mount));
    EXPECT_EQ(imageText(), QByteArray("alpha\n"));

    mountAndChange("saved\n");
    if (HasFatalFailure())
        return;
    {
        BoxAnswerer commit({QMessageBox::Yes});
        doubleClickRow(m_mount);
        EXPECT_EQ(commit.count(), 1);
    }
    EXPECT_FALSE(IsMountPoint(m_mount));
    EXPECT_EQ(RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("verify"), m_wim}), 0);
    EXPECT_EQ(imageText(), QByteArray("saved\n"));

    // A read-only row goes at once; turned off, a double-click does nothing.
    mount(m_mount, false);
    if (HasFatalFailure())
        return;
    box("doubleClickUnmounts")->setChecked(false);
    BoxAnswerer none({QMessageBox::Cancel});
    doubleClickRow(m_mount);
    EXPECT_TRUE(IsMountPoint(m_mount));
    box("doubleClickUnmounts")->setChecked(true);
    doubleClickRow(m_mount);
    EXPECT_EQ(none.count(), 0) << "a read-only mount has nothing to ask about";
    EXPECT_FALSE(IsMountPoint(m_mount));
}

// After a second mount the boxes keep what the user typed: the list taking
// the focus back must not copy its first row into them.
TEST_F(MountPageFuseTest, SecondMountKeepsTheBoxesOnTheMountJustMade)
{
    const QString second = newFolder(QStringLiteral("b"));
    mount(m_mount, false);
    mount(second, true);
    if (HasFatalFailure())
        return;
    EXPECT_EQ(field("targetFolder")->text().toStdString(), second.toStdString());
    BoxAnswerer discard({QMessageBox::No});
    click("unmount");
    EXPECT_FALSE(IsMountPoint(second));
    EXPECT_TRUE(IsMountPoint(m_mount)) << "the unmount hit a mount the user did not choose";
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
        click("mount");
        ASSERT_TRUE(IsMountPoint(folder)) << info().toStdString();
    }
    QTreeWidgetItem* row = m_page->findRow(m_mount);
    ASSERT_TRUE(row);
    const QPoint at(list()->header()->sectionViewportPosition(MountPage::kColMountPath) + 4,
                    list()->visualItemRect(row).center().y());
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_EQ(field("targetFolder")->text(), m_mount);

    BoxAnswerer none({QMessageBox::Cancel});
    click("unmount");
    EXPECT_FALSE(IsMountPoint(m_mount));
    // The boxes still name the mount just removed, so a second click (or an
    // impatient double-click) cannot unmount the other one.
    EXPECT_EQ(field("targetFolder")->text().toStdString(), m_mount.toStdString());
    EXPECT_FALSE(button("unmount")->isEnabled());
    click("unmount");
    EXPECT_TRUE(IsMountPoint(second));
    EXPECT_TRUE(m_page->findRow(second));

    // Refresh after another tool unmounts the selected row does the same.
    row = m_page->findRow(second);
    ASSERT_TRUE(row);
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(at.x(), list()->visualItemRect(row).center().y()));
    ASSERT_EQ(field("targetFolder")->text(), second);
    ASSERT_EQ(RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("unmount"), second}), 0);
    click("refresh");
    EXPECT_FALSE(m_page->findRow(second));
    EXPECT_EQ(field("targetFolder")->text().toStdString(), second.toStdString());
    EXPECT_EQ(none.count(), 0);
}

} // namespace
