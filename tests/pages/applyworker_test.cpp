// SPDX-License-Identifier: GPL-3.0-or-later
// The apply worker without a window: the step log, split sets, the flags and
// the exclusion lists, on real image files.
#include "pages/core/applyworker.h"

#include "common/language.h"
#include "common/settings.h"
#include "imaging/taskrun.h"
#include "support/testenv.h"
#include "wimfixture.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>

namespace {

QString L(int n)
{
    return GetLanguageString(n);
}

// The information box of a run without a display: updates arrive on the
// worker thread.
struct LogWindow : TaskWindow {
    std::mutex mutex;
    QString text;
    void setText(const QString&) override {}
    void appendText(const QString& t) override
    {
        std::lock_guard lock(mutex);
        text += t;
    }
    void setPercent(int, const QString&) override {}
    QString lines()
    {
        std::lock_guard lock(mutex);
        return text;
    }
};

class ApplyWorkerTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!PageTestSetupProblem().isEmpty())
            GTEST_SKIP() << PageTestSetupProblem().toStdString();
        m_root = MakeTestDir(QStringLiteral("apply"));
        m_source = m_root + QStringLiteral("/source");
        m_target = m_root + QStringLiteral("/target");
        QDir().mkpath(m_target);
        m_task.InfoBox = &m_log;
        m_task.Events.openFolder = [this](const QString& f) { m_opened = f; };
    }

    ApplyRequest request(const QString& file, uint32_t index = 1)
    {
        ApplyRequest r;
        r.imageFile = file;
        r.targetFolder = m_target;
        r.imageIndex = index;
        GetImageFileInfo(file, r.fileInfo);
        r.openWhenDone = true;
        return r;
    }

    bool run(const ApplyRequest& r)
    {
        if (StartApply(m_task, r, [] { return true; }, {}) != ApplyStart::Started)
            return false;
        return TaskWorker().waitFor(std::chrono::seconds(120));
    }

    // The log the Part's sequence gives for a complete, successful apply.
    static QString successLog()
    {
        const QString br = QStringLiteral("\r\n");
        const QString ok = L(21) + br;
        return L(10) + br + br + L(11) + ok + L(12) + ok + L(13) + ok + L(14) + ok + br + L(15) + ok + br + L(16) + ok +
               L(17) + ok + L(18) + ok + br + L(19) + ok;
    }

    QString m_root, m_source, m_target, m_opened;
    LogWindow m_log;
    OperationTask m_task;
};

TEST_F(ApplyWorkerTest, FullApplyLogsEveryStepAndExtractsTheTree)
{
    MakeSourceTree(m_source);
    const QString wim = m_root + QStringLiteral("/x.wim");
    ASSERT_TRUE(WriteImageFile(m_source, wim, 2));
    ASSERT_TRUE(run(request(wim)));
    EXPECT_TRUE(m_task.Succeeded);
    EXPECT_EQ(m_log.lines().split(QStringLiteral("\r\n")), successLog().split(QStringLiteral("\r\n")));
    EXPECT_EQ(ListTree(m_target), ListTree(m_source));
    QFile b(m_target + QStringLiteral("/sub/b.txt"));
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    EXPECT_EQ(b.readAll(), QByteArray("bravo bravo\n"));
    EXPECT_EQ(m_opened, m_target);
    EXPECT_FALSE(OperationGate().isSet());
}

TEST_F(ApplyWorkerTest, ImageNumberAboveCountFailsOnTheLoadLine)
{
    MakeSourceTree(m_source);
    const QString wim = m_root + QStringLiteral("/x.wim");
    ASSERT_TRUE(WriteImageFile(m_source, wim, 1));
    ASSERT_TRUE(run(request(wim, 2)));
    EXPECT_FALSE(m_task.Succeeded);
    const QStringList lines = m_log.lines().split(QStringLiteral("\r\n"));
    ASSERT_GE(lines.size(), 9);
    EXPECT_EQ(lines[5], L(14) + L(22));
    // The load failure skips the apply and the image handle but still undoes
    // the callback and the file, then reports the whole as failed.
    EXPECT_TRUE(lines.contains(L(17) + L(21)));
    EXPECT_TRUE(lines.contains(L(18) + L(21)));
    EXPECT_FALSE(lines.contains(L(15) + L(21)));
    EXPECT_FALSE(lines.contains(L(16) + L(21)));
    EXPECT_TRUE(lines.contains(L(19) + L(22)));
    EXPECT_TRUE(m_opened.isEmpty());
    EXPECT_TRUE(ListTree(m_target).isEmpty());
}

TEST_F(ApplyWorkerTest, MissingTemporaryFolderIsCreatedWithItsParents)
{
    MakeSourceTree(m_source);
    const QString wim = m_root + QStringLiteral("/x.wim");
    ASSERT_TRUE(WriteImageFile(m_source, wim, 1));
    ApplyRequest r = request(wim);
    r.tempFolder = m_root + QStringLiteral("/temp/a/b");
    ASSERT_TRUE(run(r));
    EXPECT_TRUE(m_task.Succeeded);
    EXPECT_TRUE(QFileInfo(m_root + QStringLiteral("/temp/a/b")).isDir());
    EXPECT_EQ(m_log.lines(), successLog());
}

class ApplySplitSetTest : public ApplyWorkerTest {
protected:
    void SetUp() override
    {
        ApplyWorkerTest::SetUp();
        if (IsSkipped())
            return;
        // Incompressible files of a size each so that every part holds one.
        MakeSourceTree(m_source, 3, 96 * 1024);
        const QString wim = m_root + QStringLiteral("/whole.wim");
        ASSERT_TRUE(WriteImageFile(m_source, wim, 0));
        m_parts = SplitImageFile(wim, m_root + QStringLiteral("/install.swm"), 120 * 1024);
        ASSERT_EQ(m_parts.size(), 3) << m_parts.join(u' ').toStdString();
    }
    QStringList m_parts;
};

TEST_F(ApplySplitSetTest, ThirdPartAppliesTheWholeSet)
{
    ApplyRequest r = request(m_parts[2]);
    ASSERT_EQ(r.fileInfo.PartNumber, 3);
    ASSERT_EQ(r.fileInfo.TotalParts, 3);
    ASSERT_TRUE(run(r));
    EXPECT_TRUE(m_task.Succeeded) << m_log.lines().toStdString();
    EXPECT_EQ(m_log.lines(), successLog());
    EXPECT_EQ(m_task.ImagePath, m_parts[0]);
    EXPECT_EQ(ListTree(m_target), ListTree(m_source));
    EXPECT_EQ(QFileInfo(m_target + QStringLiteral("/r2.bin")).size(), 96 * 1024);
}

TEST_F(ApplySplitSetTest, MissingSecondPartFailsOnTheOpenLine)
{
    ApplyRequest r = request(m_parts[0]);
    ASSERT_TRUE(QFile::remove(m_parts[1]));
    ASSERT_TRUE(run(r));
    EXPECT_FALSE(m_task.Succeeded);
    const QStringList lines = m_log.lines().split(QStringLiteral("\r\n"));
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[2], L(11) + L(22));
    EXPECT_TRUE(lines.contains(L(19) + L(22)));
    EXPECT_FALSE(lines.contains(L(12) + L(21)));
    EXPECT_TRUE(ListTree(m_target).isEmpty());
}

TEST_F(ApplySplitSetTest, DerivedNameThatIsNotPartOneFailsOnTheOpenLine)
{
    // "other3.swm" leads to "other.swm", which is part 2 of the set: applying
    // it as a first part would mix up parts, so the open step refuses.
    const QString third = m_root + QStringLiteral("/other3.swm");
    ASSERT_TRUE(QFile::copy(m_parts[2], third));
    ASSERT_TRUE(QFile::copy(m_parts[1], m_root + QStringLiteral("/other.swm")));
    ASSERT_TRUE(run(request(third)));
    EXPECT_FALSE(m_task.Succeeded);
    const QStringList lines = m_log.lines().split(QStringLiteral("\r\n"));
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[2], L(11) + L(22));
    EXPECT_TRUE(ListTree(m_target).isEmpty());
}

// The flags the worker hands to the layer, seen by a pass-through entry.
std::atomic<DWORD> g_seenFlags{0};
decltype(ImagingApi.WIMApplyImage) g_realApply = nullptr;
BOOL RecordingApply(HANDLE image, const char16_t* path, DWORD flags)
{
    g_seenFlags = flags;
    return g_realApply(image, path, flags);
}

TEST_F(ApplyWorkerTest, ClearingSecurityAddsTheNoAclFlags)
{
    MakeSourceTree(m_source);
    const QString wim = m_root + QStringLiteral("/x.wim");
    ASSERT_TRUE(WriteImageFile(m_source, wim, 1));
    g_realApply = ImagingApi.WIMApplyImage;
    ImagingApi.WIMApplyImage = &RecordingApply;
    for (const bool clear : {false, true}) {
        QDir(m_target).removeRecursively();
        QDir().mkpath(m_target);
        ApplyRequest r = request(wim);
        r.clearSecurity = clear;
        g_seenFlags = 0;
        EXPECT_TRUE(run(r));
        EXPECT_EQ(g_seenFlags.load(), clear ? 0xB0u : 0x80u);
        EXPECT_TRUE(m_task.Succeeded);
    }
    ImagingApi.WIMApplyImage = g_realApply;
}

TEST_F(ApplyWorkerTest, ExclusionListSkipsRootFilesUnlessSwitchedOff)
{
    MakeSourceTree(m_source);
    QDir().mkpath(m_source + QStringLiteral("/Windows"));
    for (const char* name : {"/pagefile.sys", "/Windows/pagefile.sys"}) {
        QFile f(m_source + QString::fromLatin1(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("swap");
    }
    const QString wim = m_root + QStringLiteral("/x.wim");
    ASSERT_TRUE(WriteImageFile(m_source, wim, 1));
    for (const bool noConfig : {false, true}) {
        QDir(m_target).removeRecursively();
        QDir().mkpath(m_target);
        ApplyRequest r = request(wim);
        // A trailing separator in the typed target must not shift the root.
        r.targetFolder = m_target + u'/';
        r.noConfiguration = noConfig;
        ASSERT_TRUE(run(r));
        EXPECT_TRUE(m_task.Succeeded);
        EXPECT_EQ(QFile::exists(m_target + QStringLiteral("/pagefile.sys")), noConfig);
        EXPECT_TRUE(QFile::exists(m_target + QStringLiteral("/Windows/pagefile.sys")));
        EXPECT_TRUE(QFile::exists(m_target + QStringLiteral("/a.txt")));
    }
}

TEST_F(ApplyWorkerTest, NonEmptyTargetAsksAndNoLeavesItAlone)
{
    MakeSourceTree(m_source);
    const QString wim = m_root + QStringLiteral("/x.wim");
    ASSERT_TRUE(WriteImageFile(m_source, wim, 1));
    QDir().mkpath(m_target + QStringLiteral("/keep"));
    int asked = 0;
    EXPECT_EQ(StartApply(m_task, request(wim), [&asked] { ++asked; return false; }, {}), ApplyStart::Declined);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(m_log.lines().isEmpty());
    EXPECT_EQ(ListTree(m_target), QStringList{QStringLiteral("keep")});

    ApplyRequest missing = request(wim);
    missing.targetFolder = m_root + QStringLiteral("/nowhere");
    EXPECT_EQ(StartApply(m_task, missing, [&asked] { ++asked; return true; }, {}), ApplyStart::NotStarted);
    EXPECT_EQ(asked, 1);
}

} // namespace
