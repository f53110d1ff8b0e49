// SPDX-License-Identifier: GPL-3.0-or-later
// The seven kinds of wimlib task on a real image file, run the way the
// progress dialog's task thread runs them, checked with wimlib-imagex.
#include "imaging/binding.h"
#include "imaging/taskdialogs.h"
#include "imaging/taskwimlib.h"
#include "support/testenv.h"
#include "tasktestutil.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

QString imagex(const QStringList& args, int* code = nullptr)
{
    QProcess p;
    p.start(QStringLiteral("wimlib-imagex"), args);
    p.waitForFinished(60000);
    if (code)
        *code = p.exitCode();
    return QString::fromUtf8(p.readAllStandardOutput()) + QString::fromUtf8(p.readAllStandardError());
}

class WimlibTaskRun : public ::testing::Test {
protected:
    QString dir, wim;
    TASKCONTEXT display;
    RecordingWindow bar, elapsed;

    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("wimlib-imagex")).isEmpty())
            GTEST_SKIP() << "wimlib-imagex (wimtools) is not installed; no image file can be made";
        LoadDefaultLanguageForTests();
        BindImagingLibraries(QStringLiteral(KESTREL_OUT_DIR));
        if (!WimlibApi.wimlib_open_wim)
            GTEST_SKIP() << "wimlib could not be bound";
        dir = MakeTestDir(QStringLiteral("wimlibtask"));
        const QString src = dir + QStringLiteral("/src");
        QDir().mkpath(src + QStringLiteral("/sub"));
        write(src + QStringLiteral("/a.txt"), QByteArray(200000, 'a'));
        write(src + QStringLiteral("/sub/b.txt"), "beta\n");
        wim = dir + QStringLiteral("/t.wim");
        int code = -1;
        imagex({QStringLiteral("capture"), src, wim, QStringLiteral("One")}, &code);
        ASSERT_EQ(code, 0);
        display.ProgressBar = &bar;
        display.ElapsedLabel = &elapsed;
    }

    static void write(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    int run(uint32_t kind, const QString& source, const QString& target, uint32_t image = 1, uint32_t flags = 0)
    {
        WIMLIBTASK task;
        task.WimPath = wim;
        task.SourcePath = source;
        task.TargetPath = target;
        task.Image = image;
        task.Kind = kind;
        task.Flags = flags;
        const int rc = RunWimlibTaskOperation(task, display);
        EXPECT_EQ(task.Result, rc);
        return rc;
    }
};

TEST_F(WimlibTaskRun, EveryKindDoesItsWork)
{
    const QString out = dir + QStringLiteral("/out");
    ASSERT_EQ(run(kWimlibExtractPath, QStringLiteral("\\sub\\b.txt"), out), 0);
    EXPECT_TRUE(QFileInfo(out + QStringLiteral("/sub/b.txt")).isFile());
    EXPECT_EQ(elapsed.texts.value(0).left(5), GetLanguageString(51));

    bar.percents.clear();
    ASSERT_EQ(run(kWimlibExtractImage, {}, dir + QStringLiteral("/whole")), 0);
    EXPECT_EQ(QFileInfo(dir + QStringLiteral("/whole/a.txt")).size(), 200000);
    ASSERT_FALSE(bar.percents.isEmpty());
    EXPECT_EQ(bar.percents.last(), 100);
    for (int i = 1; i < bar.percents.size(); ++i)
        EXPECT_NE(bar.percents[i], bar.percents[i - 1]) << "a percent was posted twice in a row";

    ASSERT_EQ(run(kWimlibAddImage, dir + QStringLiteral("/src/sub"), QStringLiteral("Two")), 0);
    const QString extra = dir + QStringLiteral("/extra.txt");
    write(extra, "x");
    ASSERT_EQ(run(kWimlibAddTree, extra, QStringLiteral("\\sub\\extra.txt"), 1), 0);
    ASSERT_EQ(run(kWimlibDeletePath, QStringLiteral("\\sub\\b.txt"), {}, 1), 0);
    QString listing = imagex({QStringLiteral("dir"), wim, QStringLiteral("1")});
    EXPECT_TRUE(listing.contains(QStringLiteral("/sub/extra.txt"))) << listing.toStdString();
    EXPECT_FALSE(listing.contains(QStringLiteral("/sub/b.txt")));
    EXPECT_TRUE(imagex({QStringLiteral("info"), wim}).contains(QStringLiteral("Two")));

    ASSERT_EQ(run(kWimlibDeleteImage, {}, {}, 1), 0);
    ASSERT_EQ(run(kWimlibRebuild, {}, {}), 0);
    const QString info = imagex({QStringLiteral("info"), wim});
    EXPECT_TRUE(info.contains(QStringLiteral("Image Count:    1"))) << info.toStdString();
    EXPECT_FALSE(info.contains(QStringLiteral("One")));
    int code = -1;
    imagex({QStringLiteral("verify"), wim}, &code);
    EXPECT_EQ(code, 0);
}

TEST_F(WimlibTaskRun, FailuresCarryWimlibsCodeAndText)
{
    const int rc = run(kWimlibExtractImage, {}, dir + QStringLiteral("/none"), 9);
    ASSERT_NE(rc, 0);
    const QString report = WimlibErrorReport(rc);
    EXPECT_TRUE(report.startsWith(QStringLiteral("WimLib_ErrorCode = ") + QString::number(rc) + QStringLiteral("\r\n")))
        << report.toStdString();
    EXPECT_GT(report.size(), QStringLiteral("WimLib_ErrorCode = 00\r\n").size()) << "wimlib's text is missing";

    EXPECT_NE(run(kWimlibTaskKinds, {}, {}), 0); // an unknown kind does nothing
    WIMLIBTASK missing;
    missing.WimPath = dir + QStringLiteral("/missing.wim");
    missing.Kind = kWimlibRebuild;
    // Without a registered dialog the task runs to its end right here.
    ASSERT_EQ(RegisteredTaskDialogs(), nullptr);
    EXPECT_EQ(RunWimlibTask(nullptr, missing), WIMLIB_ERR_OPEN);
}

} // namespace
