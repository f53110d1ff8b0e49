// SPDX-License-Identifier: GPL-3.0-or-later
// The settings page in the main window with the real pages: saving, the
// saved values coming back, the folder checks, drops, the mirrored boxes on
// the other pages, and a clean run from the page.
#include "ui/settingspage.h"

#include "app/commandline.h"
#include "common/language.h"
#include "common/registry.h"
#include "common/settings.h"
#include "common/systemwidth.h"
#include "pagedriver.h"
#include "pages/pagetext.h"
#include "pages/registerpages.h"
#include "support/testenv.h"
#include "ui/mainwindow.h"
#include "wimfixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>

namespace {

QString Stored(const QString& name)
{
    return ReadRegistryText(QString::fromUtf16(kSettingsSubKey), name).value_or(QStringLiteral("(missing)"));
}

uint32_t StoredNumber(const QString& name)
{
    return ReadRegistryNumber(QString::fromUtf16(kSettingsSubKey), name).value_or(999);
}

class SettingsPageTest : public testing::Test {
protected:
    void SetUp() override
    {
        PageTestSetupProblem();
        QFile::remove(SettingsFilePath());
        LoadSettings(QCoreApplication::applicationDirPath());
        m_saved = AppSettings();
        m_dir = MakeTestDir(QStringLiteral("settings"));
        RegisterKestrelPages();
        CommandLine cmd;
        cmd.args = QStringList{QStringLiteral("Kestrel")};
        m_window = std::make_unique<MainWindow>(RunMode{}, cmd);
        m_window->showPage(kPageSettings);
        m_window->show();
        QCoreApplication::processEvents();
        m_page = qobject_cast<SettingsPage*>(m_window->page(kPageSettings));
        ASSERT_TRUE(m_page);
    }
    void TearDown() override
    {
        m_window.reset();
        for (int i = 0; i < kPageCount; ++i)
            RegisterPageFactory(i, {});
        AppSettings() = m_saved;
        QFile::remove(SettingsFilePath());
    }

    template <typename T>
    T* child(const char* name) const
    {
        return m_page->findChild<T*>(QString::fromLatin1(name));
    }
    QCheckBox* box(const char* name) const { return child<QCheckBox>(name); }
    QLineEdit* edit(const char* name) const { return child<QLineEdit>(name); }
    QCheckBox* boxOn(int page, const char* name) const
    {
        return m_window->page(page)->findChild<QCheckBox*>(QString::fromLatin1(name));
    }
    QString log() const { return m_page->messageBox()->toPlainText(); }
    void drop(const QString& path, QWidget* at)
    {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        const QPoint pos = at->mapTo(m_page, at->rect().center());
        QDragEnterEvent enter(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_page, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent event(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_page, &event);
    }

    Settings m_saved;
    QString m_dir;
    std::unique_ptr<MainWindow> m_window;
    SettingsPage* m_page = nullptr;
};

const char* const kBoxes[] = {"clearHint", "dblClickOpenDir", "unMountAutoRunCmd", "dblClickUnMountImage",
                              "dblClickUnMountAll", "autoOpenPath"};
const char* const kValueNames[] = {"ClearHint", "DblClickOpenDir", "UnMountAutoRunCmd", "DblClickUnMountImage",
                                   "DblClickUnMountAll", "AutoOpenPath"};

TEST_F(SettingsPageTest, SaveWritesEveryValueAndMirrorsTheOtherPages)
{
    EXPECT_FALSE(m_page->logShown()) << "the help text shows while the page is idle";
    // Every box flips, at two different starting states, so that no value
    // can pass by staying at its default.
    for (int round = 0; round < 2; ++round) {
        const bool on = round == 1;
        for (const char* name : kBoxes)
            box(name)->setChecked(on);
        const QString mountBase = m_dir + QStringLiteral("/base%1").arg(round);
        const QString temp = m_dir + QStringLiteral("/deep/temp%1").arg(round);
        edit("mountBaseFolder")->setText(mountBase);
        edit("tempFolder")->setText(temp);
        child<QComboBox>("compressType")->setCurrentIndex(round);
        QTest::mouseClick(child<QPushButton>("saveSettings"), Qt::LeftButton);

        for (const char* value : kValueNames)
            EXPECT_EQ(StoredNumber(QString::fromLatin1(value)), on ? 1u : 0u) << value;
        EXPECT_EQ(StoredNumber(QStringLiteral("CompressType")), uint32_t(round + 1));
        EXPECT_EQ(Stored(QStringLiteral("AutoMountPath")), mountBase);
        EXPECT_EQ(Stored(QStringLiteral("WimTempPath")), temp);
        EXPECT_EQ(Stored(QStringLiteral("Language")), QString());
        EXPECT_TRUE(QFileInfo(mountBase).isDir());
        EXPECT_TRUE(QFileInfo(temp).isDir());
        EXPECT_EQ(AppSettings().clearHint, on ? 1u : 0u);

        // The boxes of the other pages that show the same options follow.
        EXPECT_EQ(boxOn(kPageMount, "doubleClickOpensFolder")->isChecked(), on);
        EXPECT_EQ(boxOn(kPageMount, "doubleClickUnmounts")->isChecked(), on);
        EXPECT_EQ(boxOn(kPageMount, "headerUnmountsAll")->isChecked(), on);
        EXPECT_EQ(boxOn(kPageMount, "openWhenDone")->isChecked(), on);
        for (int page : {kPageMount, kPageCapture, kPageExport})
            EXPECT_EQ(boxOn(page, "clearBeforeTask")->isChecked(), on) << page;
    }
    QFile file(SettingsFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("ClearHint=dword:00000001"));
    EXPECT_TRUE(m_page->logShown());
    EXPECT_TRUE(log().contains(L(229) + L(21))) << log().toStdString();
}

TEST_F(SettingsPageTest, DefaultsBringBackTheSavedValues)
{
    const Settings before = AppSettings();
    for (const char* name : kBoxes)
        box(name)->setChecked(false);
    edit("mountBaseFolder")->setText(QStringLiteral("/elsewhere"));
    edit("tempFolder")->setText(QStringLiteral("/elsewhere/too"));
    child<QComboBox>("compressType")->setCurrentIndex(0);
    QTest::mouseClick(child<QPushButton>("defaultSettings"), Qt::LeftButton);
    for (const char* name : kBoxes)
        EXPECT_TRUE(box(name)->isChecked()) << name;
    EXPECT_EQ(edit("mountBaseFolder")->text(), before.autoMountPath);
    EXPECT_EQ(edit("tempFolder")->text(), before.wimTempPath);
    EXPECT_EQ(child<QComboBox>("compressType")->currentIndex(), int(before.compressType) - 1);
    EXPECT_FALSE(QFileInfo::exists(SettingsFilePath())) << "restoring writes nothing";
    EXPECT_TRUE(log().contains(L(228) + L(21))) << log().toStdString();
}

TEST_F(SettingsPageTest, AnUnwritableMountBaseStillSavesTheValues)
{
    // A folder below a file can never be made, whoever runs the test.
    const QString blocker = m_dir + QStringLiteral("/file");
    QFile f(blocker);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    const QString mountBase = blocker + QStringLiteral("/base");
    edit("mountBaseFolder")->setText(mountBase);
    edit("tempFolder")->setText(m_dir + QStringLiteral("/temp"));
    box("autoOpenPath")->setChecked(false);
    m_page->saveSettings();
    EXPECT_EQ(Stored(QStringLiteral("AutoMountPath")), mountBase);
    EXPECT_EQ(StoredNumber(QStringLiteral("AutoOpenPath")), 0u);
    EXPECT_TRUE(log().contains(L(255) + u'\n' + L(256))) << log().toStdString();
    EXPECT_FALSE(log().contains(L(257)));
    EXPECT_TRUE(log().trimmed().endsWith(L(21)));
}

TEST_F(SettingsPageTest, DropsFillTheFieldUnderThePointAndOnlyWithFolders)
{
    const QString before = edit("mountBaseFolder")->text();
    const QString file = m_dir + QStringLiteral("/a.wim");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    drop(file, edit("mountBaseFolder"));
    EXPECT_EQ(edit("mountBaseFolder")->text(), before) << "a file changes nothing";
    drop(m_dir, child<QPushButton>("saveSettings"));
    EXPECT_EQ(edit("mountBaseFolder")->text(), before);
    EXPECT_NE(edit("tempFolder")->text(), m_dir) << "a folder dropped outside the fields changes nothing";
    drop(m_dir, edit("tempFolder"));
    EXPECT_EQ(edit("tempFolder")->text(), m_dir);
    drop(m_dir, edit("mountBaseFolder"));
    EXPECT_EQ(edit("mountBaseFolder")->text(), m_dir);
    EXPECT_FALSE(QFileInfo::exists(SettingsFilePath()));
}

TEST_F(SettingsPageTest, CleaningRunsOnAWorkerAndLogsTheStep)
{
    const QString temp = m_dir + QStringLiteral("/temp");
    QDir().mkpath(temp + QStringLiteral("/old/older"));
    QFile f(temp + QStringLiteral("/old/older/x.tmp"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    edit("tempFolder")->setText(temp);
    // The question comes first; No leaves everything.
    {
        BoxAnswerer no({QMessageBox::No});
        EXPECT_FALSE(m_page->cleanFolder(SettingsPage::WorkFolder::Temporary));
        EXPECT_EQ(no.count(), 1);
        EXPECT_EQ(no.titles().value(0), L(221));
        EXPECT_FALSE(no.texts().value(0).contains(L(232))) << "the temporary folder spares nothing";
    }
    EXPECT_TRUE(QFileInfo::exists(temp + QStringLiteral("/old")));
    {
        BoxAnswerer yes({QMessageBox::Yes});
        ASSERT_TRUE(m_page->cleanFolder(SettingsPage::WorkFolder::Temporary));
        EXPECT_TRUE(m_page->isLocked()) << "the page waits for the worker, locked";
        ASSERT_TRUE(WaitUntil([this] { return !m_page->isCleaning(); }));
    }
    EXPECT_EQ(QDir(temp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    EXPECT_TRUE(log().contains(L(225) + L(21))) << log().toStdString();
    EXPECT_FALSE(m_page->isLocked());

    // The mount base question names the mounted folders it spares.
    edit("mountBaseFolder")->setText(m_dir + QStringLiteral("/missing"));
    BoxAnswerer yesAgain({QMessageBox::Yes});
    ASSERT_TRUE(m_page->cleanFolder(SettingsPage::WorkFolder::MountBase));
    ASSERT_TRUE(WaitUntil([this] { return !m_page->isCleaning(); }));
    EXPECT_TRUE(yesAgain.texts().value(0).contains(L(232)));
    EXPECT_TRUE(log().contains(L(224) + L(22))) << "a missing folder fails: " << log().toStdString();
}

TEST(SettingsPageWidth, RegisterButtonsFollowTheSystemWidth)
{
    struct Case {
        const char* machine;
        bool build64;
        bool usable;
    } const cases[] = {
        {"x86_64", true, true}, {"x86_64", false, false}, {"i686", false, true},
        {"i686", true, false},  {"aarch64", false, true}, {"", false, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildMatchesSystemWidth(QString::fromLatin1(c.machine), c.build64), c.usable) << c.machine;
    EXPECT_EQ(SettingsPage::ExtensionButtonsUsable(), BuildMatchesSystemWidth(SystemMachine()));
}

} // namespace
