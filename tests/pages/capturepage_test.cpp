// SPDX-License-Identifier: GPL-3.0-or-later
// The capture and append page driven with QTest on real files: which start
// buttons it offers, creating over an existing file, appending (boot mark,
// ESD), the image texts, the configuration lists, the stop buttons and a
// target inside the source. Every file written is checked with wimlib-imagex.
#include "pages/capturepage.h"

#include "common/language.h"
#include "imaging/taskrun.h"
#include "metadata/imagexml.h"
#include "pagedriver.h"
#include "support/testenv.h"
#include "wimfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

QString L(int n)
{
    return GetLanguageString(n);
}

struct Fixtures {
    QString root, source, twoImages, esd;
    QStringList parts;
};

const Fixtures& Files()
{
    static const Fixtures f = [] {
        Fixtures x;
        x.root = MakeTestDir(QStringLiteral("capturefiles"));
        x.source = x.root + QStringLiteral("/source");
        MakeSourceTree(x.source, 3, 64 * 1024);
        x.twoImages = x.root + QStringLiteral("/two.wim");
        x.esd = x.root + QStringLiteral("/solid.esd");
        WriteImageFile(x.source, x.twoImages, 2, 2);
        WriteImageFile(x.source, x.esd, 3);
        const QString whole = x.root + QStringLiteral("/whole.wim");
        WriteImageFile(x.source, whole, 0);
        x.parts = SplitImageFile(whole, x.root + QStringLiteral("/install.swm"), 100 * 1024);
        return x;
    }();
    return f;
}

QByteArray Bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// wimlib-imagex's own check of a file Kestrel wrote.
bool Verifies(const QString& wim)
{
    QString out;
    const int code = RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("verify"), wim}, 120000, &out);
    EXPECT_EQ(code, 0) << out.toStdString();
    return code == 0;
}

QString Info(const QString& wim, int image = 0)
{
    QStringList args{QStringLiteral("info"), wim};
    if (image)
        args << QString::number(image);
    QString out;
    RunTool(QStringLiteral("wimlib-imagex"), args, 60000, &out);
    return out;
}

QStringList Dir(const QString& wim, int image)
{
    QString out;
    RunTool(QStringLiteral("wimlib-imagex"), {QStringLiteral("dir"), wim, QString::number(image)}, 60000, &out);
    return out.split(u'\n', Qt::SkipEmptyParts);
}

// The "Key: value" line of wimlib-imagex info output, value only.
QString InfoValue(const QString& info, const QString& key)
{
    for (const QString& line : info.split(u'\n')) {
        if (line.startsWith(key + u':'))
            return line.mid(key.size() + 1).trimmed();
    }
    return QString();
}

class CapturePageTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!PageTestSetupProblem().isEmpty())
            GTEST_SKIP() << PageTestSetupProblem().toStdString();
        ASSERT_EQ(Files().parts.size(), 3);
        m_page = std::make_unique<CapturePage>();
        m_page->show();
        m_dir = MakeTestDir(QStringLiteral("capture"));
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
    QComboBox* combo(const char* name) { return m_page->findChild<QComboBox*>(QString::fromLatin1(name)); }
    QString info() { return m_page->messageBox()->toPlainText(); }

    void choose(const QString& source, const QString& target)
    {
        field("sourceFolder")->setText(source);
        field("targetFile")->setText(target);
    }

    // Clicks a start button and waits until the page is idle again.
    void runAndWait(const char* start)
    {
        QTest::mouseClick(button(start), Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([this, start] {
            return !TaskWorker().isRunning() && !m_page->isCapturing() && button(start)->isVisible();
        }));
    }

    QString copyOf(const QString& file, const QString& name)
    {
        const QString copy = m_dir + u'/' + name;
        EXPECT_TRUE(QFile::copy(file, copy));
        return copy;
    }

    std::unique_ptr<CapturePage> m_page;
    QString m_dir;
};

TEST_F(CapturePageTest, StartButtonsFollowSourceAndTarget)
{
    const QString junk = m_dir + QStringLiteral("/junk.wim");
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    const QString src = Files().source;
    const struct {
        const char* what;
        QString source, target;
        bool create, append, splitMessage;
    } cases[] = {
        {"missing source", m_dir + QStringLiteral("/nothing"), m_dir + QStringLiteral("/new.wim"), false, false, false},
        {"missing target folder", src, m_dir + QStringLiteral("/no/new.wim"), false, false, false},
        {"new file", src, m_dir + QStringLiteral("/new.wim"), true, false, false},
        {"target is a folder", src, m_dir, false, false, false},
        {"existing image file", src, Files().twoImages, true, true, false},
        {"split part", src, Files().parts[0], true, false, true},
        {"unreadable target", src, junk, true, false, false},
    };
    for (const auto& c : cases) {
        m_page->messageBox()->clear();
        choose(QString(), QString());
        choose(c.source, c.target);
        EXPECT_EQ(button("create")->isEnabled(), c.create) << c.what;
        EXPECT_EQ(button("append")->isEnabled(), c.append) << c.what;
        EXPECT_EQ(info().contains(L(78)), c.splitMessage) << c.what;
    }
}

TEST_F(CapturePageTest, CreateOverAnExistingFileAsksFirst)
{
    const QString target = copyOf(Files().twoImages, QStringLiteral("old.wim"));
    const QByteArray before = Bytes(target);
    choose(Files().source, target);
    field("imageName")->setText(QStringLiteral("fresh"));
    {
        BoxAnswerer no({QMessageBox::No});
        QTest::mouseClick(button("create"), Qt::LeftButton);
        ASSERT_EQ(no.count(), 1);
        EXPECT_EQ(no.titles().value(0), L(148));
        EXPECT_TRUE(no.texts().value(0).startsWith(L(305)));
    }
    EXPECT_FALSE(TaskWorker().isRunning());
    EXPECT_EQ(Bytes(target), before) << "No leaves the file untouched";

    BoxAnswerer yes({QMessageBox::Yes});
    runAndWait("create");
    const QStringList lines = info().split(u'\n');
    EXPECT_TRUE(lines.contains(L(85) + L(21))) << info().toStdString();
    EXPECT_TRUE(Verifies(target));
    const QString all = Info(target);
    EXPECT_EQ(InfoValue(all, QStringLiteral("Image Count")), QStringLiteral("1"));
    EXPECT_EQ(InfoValue(Info(target, 1), QStringLiteral("Name")), QStringLiteral("fresh"));
    EXPECT_FALSE(QFile::exists(target + QStringLiteral(".kestrel-new")));
    EXPECT_TRUE(button("append")->isEnabled()) << "the new file now offers append";
}

TEST_F(CapturePageTest, AppendMakesImageThreeWithTextsAndBootMark)
{
    const QString target = copyOf(Files().twoImages, QStringLiteral("append.wim"));
    choose(Files().source, target);
    field("imageName")->setText(QStringLiteral("third"));
    field("imageDescription")->setText(QStringLiteral("the third one"));
    field("displayName")->setText(QStringLiteral("Third"));
    field("displayDescription")->setText(QStringLiteral("shown third"));
    combo("flags")->setEditText(QStringLiteral("Professional"));
    box("bootImage")->setChecked(true);
    runAndWait("append");

    const QString ok = L(21) + u'\n';
    const QString expected = u'\n' + L(79) + u'\n' + L(11) + ok + L(13) + ok + L(12) + ok + L(81) + ok + L(83) + ok +
                             L(16) + ok + L(17) + ok + L(18) + ok + u'\n' + L(84) + ok;
    EXPECT_TRUE(info().endsWith(expected)) << info().toStdString();
    EXPECT_TRUE(Verifies(target));
    const QString all = Info(target);
    EXPECT_EQ(InfoValue(all, QStringLiteral("Image Count")), QStringLiteral("3"));
    EXPECT_EQ(InfoValue(all, QStringLiteral("Boot Index")), QStringLiteral("3"));
    const QString third = Info(target, 3);
    EXPECT_EQ(InfoValue(third, QStringLiteral("Name")), QStringLiteral("third"));
    EXPECT_EQ(InfoValue(third, QStringLiteral("Description")), QStringLiteral("the third one"));
    EXPECT_EQ(InfoValue(third, QStringLiteral("Display Name")), QStringLiteral("Third"));
    EXPECT_EQ(InfoValue(third, QStringLiteral("Display Description")), QStringLiteral("shown third"));
    EXPECT_EQ(InfoValue(third, QStringLiteral("Flags")), QStringLiteral("Professional"));
}

// Records the flags of every open for writing, so that the test sees how the
// worker opened the ESD.
decltype(ImagingApi.WIMCreateFile) g_realCreate = nullptr;
std::atomic<DWORD> g_firstWriteFlags{0xFFFFFFFF};
HANDLE RecordingCreate(const char16_t* path, DWORD access, DWORD disposition, DWORD flags, DWORD compression,
                       DWORD* result)
{
    if (access & WIM_GENERIC_WRITE) {
        DWORD none = 0xFFFFFFFF;
        g_firstWriteFlags.compare_exchange_strong(none, flags);
    }
    return g_realCreate(path, access, disposition, flags, compression, result);
}

TEST_F(CapturePageTest, AppendToAnEsdKeepsLzms)
{
    const QString target = copyOf(Files().esd, QStringLiteral("append.esd"));
    choose(Files().source, target);
    combo("compression")->setCurrentIndex(1);
    g_firstWriteFlags = 0xFFFFFFFF;
    g_realCreate = ImagingApi.WIMCreateFile;
    ImagingApi.WIMCreateFile = &RecordingCreate;
    runAndWait("append");
    ImagingApi.WIMCreateFile = g_realCreate;

    EXPECT_EQ(combo("compression")->currentIndex(), 3);
    EXPECT_EQ(g_firstWriteFlags.load(), DWORD(WIM_FLAG_ALLOW_LZMS)) << "opened for LZMS at the first attempt";
    EXPECT_TRUE(Verifies(target));
    const QString all = Info(target);
    EXPECT_EQ(InfoValue(all, QStringLiteral("Image Count")), QStringLiteral("2"));
    EXPECT_EQ(InfoValue(all, QStringLiteral("Compression")), QStringLiteral("LZMS"));
}

TEST_F(CapturePageTest, EmptyTextsAndTheFlagsPromptWriteNoElement)
{
    const struct {
        const char* what;
        QString name, flags; // flags empty: the box left at its prompt line
        bool hasName, hasFlags;
    } cases[] = {
        {"nothing typed", QString(), QString(), false, false},
        {"name and flags", QStringLiteral("n"), QStringLiteral("Custom"), true, true},
    };
    int n = 0;
    for (const auto& c : cases) {
        const QString target = m_dir + QStringLiteral("/texts%1.wim").arg(++n);
        choose(Files().source, target);
        field("imageName")->setText(c.name);
        field("imageDescription")->setText(QStringLiteral("described"));
        if (c.flags.isEmpty())
            combo("flags")->setCurrentIndex(0);
        else
            combo("flags")->setEditText(c.flags);
        runAndWait("create");
        ASSERT_TRUE(Verifies(target)) << c.what;
        ImageXmlSession xml;
        ASSERT_EQ(xml.open(target, ImageXmlSession::Access::Read, 1), ImageXmlSession::Stage::Ready) << c.what;
        EXPECT_EQ(xml.imageElement().child("NAME").empty(), !c.hasName) << c.what;
        EXPECT_EQ(xml.imageElement().child("FLAGS").empty(), !c.hasFlags) << c.what;
        EXPECT_STREQ(xml.imageElement().child_value("DESCRIPTION"), "described") << c.what;
        if (c.hasFlags) {
            EXPECT_EQ(QString::fromUtf8(xml.imageElement().child_value("FLAGS")), c.flags);
        }
    }
}

TEST_F(CapturePageTest, ExclusionListLeavesFilesOutUnlessSwitchedOff)
{
    const QString saved = ConfigurationTableText();
    SetConfigurationText(QStringLiteral("[ExclusionList]\r\n\\sub\\b.txt\r\n*.bin\r\n"));
    for (const bool noConfiguration : {false, true}) {
        const QString target = m_dir + (noConfiguration ? QStringLiteral("/all.wim") : QStringLiteral("/less.wim"));
        choose(Files().source, target);
        box("noConfiguration")->setChecked(noConfiguration);
        runAndWait("create");
        ASSERT_TRUE(Verifies(target));
        const QStringList paths = Dir(target, 1);
        EXPECT_TRUE(paths.contains(QStringLiteral("/a.txt")));
        EXPECT_TRUE(paths.contains(QStringLiteral("/sub")));
        EXPECT_EQ(paths.contains(QStringLiteral("/sub/b.txt")), noConfiguration);
        EXPECT_EQ(paths.contains(QStringLiteral("/r0.bin")), noConfiguration);
    }
    SetConfigurationText(saved);
}

// Closes the gate just before the real capture, as a stop question would, so
// that the worker is certainly halted in its first callback when the test
// presses the stop button.
// The test presses stop only once the gate is closed: a stop answered before
// would open the gate, and the close after it would halt the worker for good.
decltype(ImagingApi.WIMCaptureImage) g_realCapture = nullptr;
std::atomic<bool> g_gateClosed{false};
HANDLE GateClosingCapture(HANDLE wim, const char16_t* path, DWORD flags)
{
    OperationGate().reset();
    g_gateClosed = true;
    return g_realCapture(wim, path, flags);
}

struct CaptureEntryGuard {
    CaptureEntryGuard()
    {
        g_realCapture = ImagingApi.WIMCaptureImage;
        ImagingApi.WIMCaptureImage = &GateClosingCapture;
    }
    ~CaptureEntryGuard() { ImagingApi.WIMCaptureImage = g_realCapture; }
};

TEST_F(CapturePageTest, StopButtonsLeaveNoFileBehindAndTheOldOneUnchanged)
{
    CaptureEntryGuard guard;
    const QString old = copyOf(Files().twoImages, QStringLiteral("keep.wim"));
    const QString pristine = copyOf(Files().twoImages, QStringLiteral("pristine.wim"));
    const struct {
        const char* what;
        int compression;
        bool existing;                       // over the old file, else a new name
        QMessageBox::StandardButton answer;  // LZX: Ok / Cancel; LZMS: Yes safe, No forced, Cancel go on
        bool stopped;
    } cases[] = {
        {"LZX safe stop over an old file", 2, true, QMessageBox::Ok, true},
        {"LZMS safe stop of a new file", 3, false, QMessageBox::Yes, true},
        {"LZMS forced stop of a new file", 3, false, QMessageBox::No, true},
        {"LZMS question answered go on", 3, false, QMessageBox::Cancel, false},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString target = c.existing ? old : m_dir + QStringLiteral("/stopped%1.wim").arg(++n);
        choose(Files().source, target);
        combo("compression")->setCurrentIndex(c.compression);
        BoxAnswerer answers(c.existing ? std::deque{QMessageBox::Yes, c.answer} : std::deque{c.answer});
        g_gateClosed = false;
        QTest::mouseClick(button("create"), Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([this] { return button("createStop")->isVisible() && g_gateClosed.load(); }));
        EXPECT_FALSE(field("sourceFolder")->isEnabled()) << "the page is locked";
        EXPECT_TRUE(button("createStop")->isEnabled());
        EXPECT_FALSE(button("create")->isVisible());
        QTest::mouseClick(button("createStop"), Qt::LeftButton);
        ASSERT_GE(answers.count(), 1);
        EXPECT_EQ(answers.titles().last(), L(122));
        EXPECT_TRUE(answers.texts().last().startsWith(L(177)));
        ASSERT_TRUE(WaitUntil([this] { return !m_page->isCapturing() && button("create")->isVisible(); }));
        EXPECT_TRUE(field("sourceFolder")->isEnabled());
        EXPECT_FALSE(button("createStop")->isVisible());
        // A forced stop leaves the worker to end on its own.
        ASSERT_TRUE(WaitUntil([] { return !TaskWorker().isRunning(); }));
        ASSERT_TRUE(WaitUntil([&] { return !QFile::exists(target + QStringLiteral(".kestrel-new")); }));
        const QStringList lines = info().split(u'\n');
        if (c.stopped) {
            EXPECT_TRUE(lines.contains(L(20))) << info().toStdString();
            if (c.existing) {
                EXPECT_EQ(Bytes(target), Bytes(pristine));
                EXPECT_TRUE(Verifies(target));
            } else {
                EXPECT_FALSE(QFile::exists(target)) << "no partial file";
            }
            if (c.answer == QMessageBox::No) {
                EXPECT_TRUE(info().contains(L(283)));
            }
        } else {
            EXPECT_TRUE(lines.contains(L(85) + L(21))) << info().toStdString();
            EXPECT_TRUE(Verifies(target));
        }
    }
}

TEST_F(CapturePageTest, TargetInsideTheSourceIsNotCapturedIntoItself)
{
    const QString source = m_dir + QStringLiteral("/tree");
    MakeSourceTree(source, 2, 32 * 1024);
    const QString target = source + QStringLiteral("/sub/self.wim");
    choose(source + u'/', target);
    runAndWait("create");
    ASSERT_TRUE(Verifies(target));
    QStringList paths = Dir(target, 1);
    EXPECT_TRUE(paths.contains(QStringLiteral("/sub/b.txt")));
    EXPECT_FALSE(paths.filter(QStringLiteral("self.wim")).size()) << paths.join(u' ').toStdString();

    // Over the file it wrote, and appended to it.
    BoxAnswerer yes({QMessageBox::Yes});
    runAndWait("create");
    runAndWait("append");
    ASSERT_TRUE(Verifies(target));
    EXPECT_EQ(InfoValue(Info(target), QStringLiteral("Image Count")), QStringLiteral("2"));
    for (int image : {1, 2}) {
        paths = Dir(target, image);
        EXPECT_TRUE(paths.contains(QStringLiteral("/a.txt")));
        EXPECT_TRUE(paths.filter(QStringLiteral("self.wim")).isEmpty()) << paths.join(u' ').toStdString();
    }
}

} // namespace
