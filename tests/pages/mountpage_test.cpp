// SPDX-License-Identifier: GPL-3.0-or-later
// The mount and apply page driven with QTest on real image files: enabling,
// the image number, applying with its questions and its stop button.
#include "pages/mountpage.h"

#include "common/language.h"
#include "imaging/taskrun.h"
#include "pagedriver.h"
#include "pages/core/mountlogic.h"
#include "support/testenv.h"
#include "wimfixture.h"

#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QThread>
#include <QUrl>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

QString L(int n)
{
    return GetLanguageString(n);
}

// Image files shared by the tests of this file, written once.
struct Fixtures {
    QString root, source, wim, threeImages, esd;
    QStringList parts;
};

const Fixtures& Files()
{
    static const Fixtures f = [] {
        Fixtures x;
        x.root = MakeTestDir(QStringLiteral("pagefiles"));
        x.source = x.root + QStringLiteral("/source");
        MakeSourceTree(x.source, 3, 96 * 1024);
        x.wim = x.root + QStringLiteral("/one.wim");
        x.threeImages = x.root + QStringLiteral("/three.wim");
        x.esd = x.root + QStringLiteral("/solid.esd");
        WriteImageFile(x.source, x.wim, 2);
        WriteImageFile(x.source, x.threeImages, 1, 3);
        WriteImageFile(x.source, x.esd, 3);
        const QString whole = x.root + QStringLiteral("/whole.wim");
        WriteImageFile(x.source, whole, 0);
        x.parts = SplitImageFile(whole, x.root + QStringLiteral("/install.swm"), 120 * 1024);
        return x;
    }();
    return f;
}

class MountPageTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!PageTestSetupProblem().isEmpty())
            GTEST_SKIP() << PageTestSetupProblem().toStdString();
        ASSERT_EQ(Files().parts.size(), 3);
        m_page = std::make_unique<MountPage>();
        m_page->show();
        // Nothing may start a file manager from a test.
        box("openWhenDone")->setChecked(false);
        box("doubleClickOpensFolder")->setChecked(false);
        m_dir = MakeTestDir(QStringLiteral("page"));
    }

    void TearDown() override
    {
        if (m_page)
            WaitUntil([] { return !TaskWorker().isRunning(); });
        m_page.reset();
    }

    QLineEdit* field(const char* name) { return m_page->findChild<QLineEdit*>(QString::fromLatin1(name)); }
    QPushButton* button(const char* name) { return m_page->findChild<QPushButton*>(QString::fromLatin1(name)); }
    QCheckBox* box(const char* name) { return m_page->findChild<QCheckBox*>(QString::fromLatin1(name)); }
    QString info() { return m_page->messageBox()->toPlainText(); }

    void choose(const QString& file, const QString& folder)
    {
        field("imageFile")->setText(file);
        field("targetFolder")->setText(folder);
    }

    // Clicks apply and waits until the worker has ended and the page is idle.
    void applyAndWait()
    {
        QTest::mouseClick(button("apply"), Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([this] { return !TaskWorker().isRunning() && button("apply")->isVisible(); }));
    }

    static QString successLog()
    {
        const QString ok = L(21) + u'\n';
        return L(10) + u'\n' + u'\n' + L(11) + ok + L(12) + ok + L(13) + ok + L(14) + ok + u'\n' + L(15) + ok + u'\n' +
               L(16) + ok + L(17) + ok + L(18) + ok + u'\n' + L(19) + ok;
    }

    std::unique_ptr<MountPage> m_page;
    QString m_dir;
};

struct ButtonCase {
    const char* name;
    int file;         // 0 plain WIM, 1 first split part, 2 ESD, 3 missing
    bool folderEmpty; // else it holds one file
    bool mount, apply;
};

class MountPageButtons : public MountPageTest, public testing::WithParamInterface<ButtonCase> {};

TEST_P(MountPageButtons, FollowTheFileAndTheFolder)
{
    const ButtonCase& c = GetParam();
    const QString files[] = {Files().wim, Files().parts.value(0), Files().esd, m_dir + QStringLiteral("/gone.wim")};
    const QString folder = m_dir + QStringLiteral("/target");
    QDir().mkpath(folder);
    if (!c.folderEmpty) {
        QFile f(folder + QStringLiteral("/present.txt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    choose(files[c.file], folder);
    EXPECT_EQ(button("mount")->isEnabled(), c.mount && HasMountFunctions());
    EXPECT_EQ(button("apply")->isEnabled(), c.apply);
    EXPECT_FALSE(button("unmount")->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Table, MountPageButtons,
                         testing::Values(ButtonCase{"PlainFile", 0, true, true, true},
                                         ButtonCase{"SplitPart", 1, true, false, true},
                                         ButtonCase{"LzmsFile", 2, true, false, true},
                                         ButtonCase{"NonEmptyFolder", 0, false, false, true},
                                         ButtonCase{"MissingFile", 3, true, false, false}),
                         [](const testing::TestParamInfo<ButtonCase>& info) { return std::string(info.param.name); });

TEST_F(MountPageTest, ImageNumberWrapsAroundAndShowsThatImage)
{
    choose(Files().threeImages, m_dir);
    auto* spin = m_page->findChild<QSpinBox*>(QStringLiteral("imageNumber"));
    ASSERT_TRUE(spin);
    ASSERT_TRUE(spin->isEnabled());
    auto* edit = spin->findChild<QLineEdit*>();
    ASSERT_TRUE(edit);
    EXPECT_TRUE(info().contains(L(90) + QStringLiteral("Image 1")));

    struct {
        const char* typed;
        const char* shown;
    } const typed[] = {{"", "3"}, {"0", "3"}, {"4", "1"}, {"2", "2"}};
    for (const auto& t : typed) {
        // Typing over the selection replaces the number in one keystroke.
        edit->selectAll();
        if (*t.typed)
            QTest::keyClicks(edit, QString::fromLatin1(t.typed));
        else
            QTest::keyClick(edit, Qt::Key_Backspace);
        EXPECT_EQ(spin->text(), QString::fromLatin1(t.shown)) << "typed '" << t.typed << "'";
        EXPECT_TRUE(info().contains(L(75) + QString::fromLatin1(t.shown))) << info().toStdString();
    }

    spin->setValue(3);
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(spin->text(), QStringLiteral("1"));
    EXPECT_TRUE(info().contains(L(90) + QStringLiteral("Image 1")));
    QTest::keyClick(spin, Qt::Key_Down);
    EXPECT_EQ(spin->text(), QStringLiteral("3"));
    EXPECT_TRUE(info().contains(L(90) + QStringLiteral("Image 3")));

    // One image: nothing to choose.
    field("imageFile")->setText(Files().wim);
    EXPECT_FALSE(spin->isEnabled());
    EXPECT_EQ(spin->value(), 1);
}

TEST_F(MountPageTest, ApplyLogsEveryStepOfTheSequence)
{
    const QString target = m_dir + QStringLiteral("/target");
    QDir().mkpath(target);
    choose(Files().wim, target);
    ASSERT_TRUE(button("apply")->isEnabled());
    BoxAnswerer answers({QMessageBox::No});
    applyAndWait();
    EXPECT_EQ(answers.count(), 0) << "an empty folder needs no question";
    EXPECT_EQ(info().split(u'\n'), successLog().split(u'\n'));
    EXPECT_EQ(ListTree(target), ListTree(Files().source));
    // The overall line stays in view when the list comes back, and nothing
    // is left to wait for.
    QCoreApplication::processEvents();
    const QScrollBar* bar = m_page->messageBox()->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0) << "the log fits: this check would show nothing";
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(m_page->findChild<QLabel*>(QStringLiteral("remaining"))->text(), L(52) + QStringLiteral("00:00:00"));
    EXPECT_TRUE(m_page->isEnabled());
    EXPECT_TRUE(button("refresh")->isEnabled());
    EXPECT_FALSE(button("stop")->isVisible());
}

TEST_F(MountPageTest, FolderWithAnEmptySubfolderAsksBeforeOverwriting)
{
    const QString target = m_dir + QStringLiteral("/target");
    QDir().mkpath(target + QStringLiteral("/inner"));
    choose(Files().wim, target);
    {
        BoxAnswerer answers({QMessageBox::No});
        QTest::mouseClick(button("apply"), Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&answers] { return answers.count() == 1; }, 10000));
        EXPECT_EQ(answers.titles().value(0), L(43));
        EXPECT_EQ(answers.texts().value(0), L(39) + u'\n' + L(40) + u'\n' + L(41) + u'\n' + u'\n' + L(42));
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(TaskWorker().isRunning());
    EXPECT_FALSE(info().contains(L(10)));
    EXPECT_EQ(ListTree(target), QStringList{QStringLiteral("inner")});

    BoxAnswerer yes({QMessageBox::Yes});
    applyAndWait();
    EXPECT_EQ(yes.count(), 1);
    EXPECT_EQ(info().split(u'\n'), successLog().split(u'\n'));
    EXPECT_TRUE(QFile::exists(target + QStringLiteral("/sub/b.txt")));
}

TEST_F(MountPageTest, ThirdPartOfASplitSetAppliesTheSet)
{
    const QString target = m_dir + QStringLiteral("/target");
    QDir().mkpath(target);
    choose(Files().parts[2], target);
    EXPECT_FALSE(button("mount")->isEnabled());
    ASSERT_TRUE(button("apply")->isEnabled());
    applyAndWait();
    EXPECT_EQ(info().split(u'\n'), successLog().split(u'\n'));
    EXPECT_EQ(ListTree(target), ListTree(Files().source));
}

// Closes the gate just before the real apply, as a stop question would, so
// that the worker is certainly halted in its first callback when the test
// presses the stop button.
decltype(ImagingApi.WIMApplyImage) g_realApply = nullptr;
BOOL GateClosingApply(HANDLE image, const char16_t* path, DWORD flags)
{
    OperationGate().reset();
    return g_realApply(image, path, flags);
}

struct ApplyEntryGuard {
    ApplyEntryGuard()
    {
        g_realApply = ImagingApi.WIMApplyImage;
        ImagingApi.WIMApplyImage = &GateClosingApply;
    }
    ~ApplyEntryGuard() { ImagingApi.WIMApplyImage = g_realApply; }
};

TEST_F(MountPageTest, StopAskedThenContinuedFinishesThenStoppedAborts)
{
    ApplyEntryGuard guard;
    const QString target = m_dir + QStringLiteral("/target");
    QDir().mkpath(target);
    choose(Files().wim, target);

    for (const bool stop : {false, true}) {
        QDir(target).removeRecursively();
        QDir().mkpath(target);
        QTest::mouseClick(button("apply"), Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([this] { return button("stop")->isVisible(); }));
        EXPECT_FALSE(field("imageFile")->isEnabled()) << "the page is locked while the apply runs";
        EXPECT_TRUE(button("stop")->isEnabled());
        ASSERT_TRUE(TaskWorker().isRunning());
        BoxAnswerer answer({stop ? QMessageBox::Yes : QMessageBox::No});
        QTest::mouseClick(button("stop"), Qt::LeftButton);
        EXPECT_EQ(answer.count(), 1);
        EXPECT_EQ(answer.titles().value(0), L(122));
        EXPECT_TRUE(answer.texts().value(0).startsWith(L(175)));
        ASSERT_TRUE(WaitUntil([this] { return !TaskWorker().isRunning() && button("apply")->isVisible(); }));
        const QStringList lines = info().split(u'\n');
        if (!stop) {
            EXPECT_EQ(lines, successLog().split(u'\n'));
            EXPECT_EQ(ListTree(target), ListTree(Files().source));
        } else {
            // An abort reports the overall failure without an error text,
            // then the user's stop; every handle is still closed.
            ASSERT_GE(lines.size(), 3);
            EXPECT_EQ(lines[lines.size() - 3], L(19) + L(22));
            EXPECT_EQ(lines[lines.size() - 2], L(20));
            EXPECT_TRUE(lines.contains(L(15) + L(22)));
            EXPECT_TRUE(lines.contains(L(16) + L(21)));
            EXPECT_TRUE(lines.contains(L(18) + L(21)));
        }
        EXPECT_TRUE(field("imageFile")->isEnabled());
        EXPECT_FALSE(button("stop")->isVisible());
    }
}

// Holds the worker in its open step until the gate is set again, which the
// closing page does only after asking the worker to stop; records what the
// apply call then returned.
decltype(ImagingApi.WIMCreateFile) g_realCreate = nullptr;
std::atomic<bool> g_heldInOpen{false};
std::atomic<int> g_applyResult{-1};
HANDLE OpenAfterTheGate(const char16_t* path, DWORD access, DWORD disposition, DWORD flags, DWORD compression,
                        DWORD* result)
{
    if (QThread::currentThread() != QCoreApplication::instance()->thread() && !g_heldInOpen.exchange(true)) {
        OperationGate().reset();
        OperationGate().wait();
    }
    return g_realCreate(path, access, disposition, flags, compression, result);
}
BOOL RecordingApply(HANDLE image, const char16_t* path, DWORD flags)
{
    const BOOL ok = g_realApply(image, path, flags);
    g_applyResult = ok;
    return ok;
}

struct OpenHoldGuard {
    OpenHoldGuard()
    {
        g_heldInOpen = false;
        g_applyResult = -1;
        g_realCreate = ImagingApi.WIMCreateFile;
        g_realApply = ImagingApi.WIMApplyImage;
        ImagingApi.WIMCreateFile = &OpenAfterTheGate;
        ImagingApi.WIMApplyImage = &RecordingApply;
    }
    ~OpenHoldGuard()
    {
        ImagingApi.WIMCreateFile = g_realCreate;
        ImagingApi.WIMApplyImage = g_realApply;
    }
};

TEST_F(MountPageTest, ClosingThePageWhileTheFileOpensStopsTheApply)
{
    const QString target = m_dir + QStringLiteral("/target");
    QDir().mkpath(target);
    choose(Files().wim, target);
    OpenHoldGuard guard;
    QTest::mouseClick(button("apply"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([] { return g_heldInOpen.load(); }));
    // The page asks for the stop before the worker has registered its
    // callback; the stop must survive that step.
    m_page.reset();
    EXPECT_FALSE(TaskWorker().isRunning());
    EXPECT_EQ(g_applyResult.load(), FALSE);
    EXPECT_NE(ListTree(target).join(u' ').toStdString(), ListTree(Files().source).join(u' ').toStdString());
}

TEST_F(MountPageTest, ReadWriteChoiceSurvivesTypingAndOnlyAReadOnlyFileClearsIt)
{
    box("readWrite")->setChecked(true);
    // Typed key by key, the path names missing files on the way.
    QTest::keyClicks(field("imageFile"), Files().wim);
    ASSERT_EQ(field("imageFile")->text(), Files().wim);
    EXPECT_TRUE(box("readWrite")->isEnabled());
    EXPECT_TRUE(box("readWrite")->isChecked()) << "typing the path cleared read-write";

    const QString copy = m_dir + QStringLiteral("/locked.wim");
    ASSERT_TRUE(QFile::copy(Files().wim, copy));
    ASSERT_TRUE(QFile::setPermissions(copy, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    choose(copy, m_dir);
    EXPECT_FALSE(box("readWrite")->isEnabled());
    EXPECT_FALSE(box("readWrite")->isChecked());
    EXPECT_TRUE(info().endsWith(L(374) + u'\n')) << "the page did not say why: " << info().toStdString();

    field("imageFile")->setText(Files().wim);
    EXPECT_TRUE(box("readWrite")->isEnabled());
    EXPECT_TRUE(box("readWrite")->isChecked()) << "the user's choice came not back";
}

TEST_F(MountPageTest, AFileThatIsNoImageSaysSoInTheInterfaceLanguage)
{
    const QString junk = m_dir + QStringLiteral("/junk.wim");
    {
        QFile f(junk);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }
    field("imageFile")->setText(junk);
    ASSERT_FALSE(L(372).isEmpty());
    EXPECT_TRUE(info().contains(L(372))) << info().toStdString();
    EXPECT_FALSE(info().contains(QStringLiteral("Exec format error"))) << info().toStdString();
}

TEST_F(MountPageTest, UnmountOfAFolderThatIsNotMountedSaysSo)
{
    choose(Files().wim, m_dir);
    EXPECT_FALSE(button("unmount")->isEnabled());
    m_page->unmountFromButton();
    QCoreApplication::processEvents();
    EXPECT_EQ(info(), L(26) + u'\n' + L(27) + u'\n');
}

TEST_F(MountPageTest, DroppedImageFileNeedsTheFileFieldAndAnImageExtension)
{
    QDir().mkpath(m_dir + QStringLiteral("/folder"));
    const QString text = m_dir + QStringLiteral("/notes.txt");
    QFile(text).open(QIODevice::WriteOnly);
    const QString upper = m_dir + QStringLiteral("/COPY.WIM");
    ASSERT_TRUE(QFile::copy(Files().wim, upper));

    auto drop = [this](const QString& path, QWidget* over) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        const QPoint pos = over->mapTo(m_page.get(), over->rect().center());
        // Qt delivers a drop only to a widget that accepted the drag first.
        QDragEnterEvent enter(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_page.get(), &enter);
        QDropEvent event(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_page.get(), &event);
    };
    drop(text, field("imageFile"));
    EXPECT_TRUE(field("imageFile")->text().isEmpty());
    drop(upper, field("targetFolder"));
    EXPECT_TRUE(field("imageFile")->text().isEmpty());
    EXPECT_TRUE(field("targetFolder")->text().isEmpty());
    drop(upper, field("imageFile"));
    EXPECT_EQ(field("imageFile")->text(), upper);
    drop(m_dir + QStringLiteral("/folder"), field("targetFolder"));
    EXPECT_EQ(field("targetFolder")->text(), m_dir + QStringLiteral("/folder"));
}

} // namespace
