// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: argument conventions as tables, and every switch run end
// to end with the real program on image files in temporary folders, checked
// with wimlib-imagex.
#include "app/cli.h"
#include "app/switches.h"
#include "common/language.h"
#include "common/registry.h"
#include "common/systemwidth.h"
#include "support/fusesupport.h"
#include "support/testenv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <fcntl.h>
#include <unistd.h>

namespace {

QStringList argv(std::initializer_list<const char*> words)
{
    QStringList list{QStringLiteral("Kestrel")};
    for (const char* w : words)
        list.append(QString::fromUtf8(w));
    return list;
}

TEST(CommandLineArguments, OptionsCountOnlyFromTheirMinimumPosition)
{
    struct Row {
        QStringList args;
        uint32_t compression;
    };
    const Row rows[] = {
        {argv({"/Capture", "src", "f.wim", "/Compress", "None"}), 0},
        {argv({"/Capture", "src", "f.wim", "/compress", "XPRESS"}), 1},
        {argv({"/Capture", "src", "f.wim", "/Compress", "lzx"}), 2},
        {argv({"/Capture", "src", "/Compress", "Lzms"}), 3},
        {argv({"/Capture", "/Compress", "Lzms", "f.wim"}), 2}, // position 2 does not count
        {argv({"/Capture", "src", "f.wim", "/Compress", "Zip"}), 2},
        {argv({"/Capture", "src", "f.wim", "/Compress"}), 2},
        {argv({"/Capture", "src", "f.wim"}), 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(u' ').toStdString());
        EXPECT_EQ(GetCompressOption(row.args), row.compression);
    }
    const QStringList args = argv({"/UnMount", "/Commit", "/x", "/UPDATE"});
    EXPECT_EQ(FindArgument(args, QStringLiteral("/commit")), 2);
    EXPECT_EQ(FindArgument(args, QStringLiteral("/Update")), 4);
    EXPECT_EQ(FindArgument(args, QStringLiteral("Kestrel")), 0); // argument 0 is never an option
    EXPECT_FALSE(HasOption(args, QStringLiteral("/Commit")));
    EXPECT_TRUE(HasOption(args, QStringLiteral("/Update")));
    EXPECT_TRUE(HasOption(args, QStringLiteral("/Commit"), 2));
}

TEST(CommandLineArguments, ImageReferencesAndOptionWords)
{
    struct Row {
        const char* text;
        const char* path;
        uint32_t number;
    };
    // A selector that is no number is looked up as a name in a file that
    // does not exist here, so it gives 0.
    const Row rows[] = {
        {"/d/a.wim", "/d/a.wim", 0},   {"/d/a.wim,2", "/d/a.wim", 2},       {"/d/a,b.wim,3", "/d/a,b.wim", 3},
        {"/d/a.wim,0", "/d/a.wim", 0}, {"/d/a.wim,Name", "/d/a.wim", 0},    {"/d/a.wim,", "/d/a.wim", 0},
    };
    for (const Row& row : rows) {
        QString path = QString::fromUtf8(row.text);
        EXPECT_EQ(ParseImageReference(path), row.number) << row.text;
        EXPECT_EQ(path, QString::fromUtf8(row.path));
    }
    EXPECT_TRUE(IsOptionWord(QStringLiteral("/notacl")));
    EXPECT_TRUE(IsOptionWord(QStringLiteral("/BOOT")));
    EXPECT_FALSE(IsOptionWord(QStringLiteral("/tmp"))); // an absolute path, not an option
    EXPECT_FALSE(IsOptionWord(QStringLiteral("/All")));
}

// The real program, run like a script would run it.
class CommandLineRun : public ::testing::Test {
protected:
    QString dir;
    QString src;

    static QString program() { return QStringLiteral(KESTREL_OUT_DIR "/Kestrel"); }

    void SetUp() override
    {
        if (!QFileInfo(program()).isExecutable())
            GTEST_SKIP() << "the program is not built: " << program().toStdString();
        if (QStandardPaths::findExecutable(QStringLiteral("wimlib-imagex")).isEmpty())
            GTEST_SKIP() << "wimlib-imagex (wimtools) is not installed; results cannot be checked";
        dir = MakeTestDir(QStringLiteral("cli"));
        src = dir + QStringLiteral("/src");
        write(src + QStringLiteral("/a.txt"), "alpha\n");
        write(src + QStringLiteral("/sub/b.txt"), "beta\n");
        write(src + QStringLiteral("/skip/c.txt"), "gamma\n");
        QDir().mkpath(src + QStringLiteral("/empty"));
    }

    static void write(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    struct Run {
        int code = -1;
        QString out;
        QString err;
    };

    // No display: the switches that would show a window run without one.
    static Run kestrel(const QStringList& args, const QString& workingDirectory = {})
    {
        QProcess p;
        if (!workingDirectory.isEmpty())
            p.setWorkingDirectory(workingDirectory);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        p.setProcessEnvironment(env);
        p.start(program(), args);
        Run r;
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            r.err = QStringLiteral("timed out");
            return r;
        }
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    static QString imagex(const QStringList& args)
    {
        QProcess p;
        p.start(QStringLiteral("wimlib-imagex"), args);
        p.waitForFinished(60000);
        return QString::fromUtf8(p.readAllStandardOutput()) + QString::fromUtf8(p.readAllStandardError());
    }

    static QString field(const QString& info, const QString& name)
    {
        for (const QString& line : info.split(u'\n')) {
            if (line.startsWith(name + u':'))
                return line.mid(name.size() + 1).trimmed();
        }
        return {};
    }

    // Asserts success: exit code 0 and nothing printed.
    static void expectOk(const Run& r)
    {
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    }
    // Asserts a failure: the code and exactly one line on standard error.
    static void expectFailure(const Run& r, int code)
    {
        EXPECT_EQ(r.code, code) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(r.err.count(u'\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("Kestrel /"))) << r.err.toStdString();
    }

    QString captureTwo(const QString& name)
    {
        const QString wim = dir + u'/' + name;
        expectOk(kestrel({QStringLiteral("/Capture"), src, wim + QStringLiteral(",First")}));
        expectOk(kestrel({QStringLiteral("/Append"), src, wim + QStringLiteral(",Second")}));
        return wim;
    }
};

TEST_F(CommandLineRun, CaptureThenAppendWithBootConfigAndCompression)
{
    const QString wim = dir + QStringLiteral("/c.wim");
    expectOk(kestrel({QStringLiteral("/capture"), src, wim + QStringLiteral(",First"), QStringLiteral("/Compress"),
                      QStringLiteral("Xpress")}));
    QString info = imagex({QStringLiteral("info"), wim});
    EXPECT_EQ(field(info, QStringLiteral("Compression")), QStringLiteral("XPRESS"));
    EXPECT_EQ(field(info, QStringLiteral("Name")), QStringLiteral("First"));

    const QString config = dir + QStringLiteral("/config.ini");
    write(config, "[ExclusionList]\n\\skip\n");
    expectOk(kestrel({QStringLiteral("/Append"), src, wim + QStringLiteral(",Second"), QStringLiteral("/Boot"),
                      QStringLiteral("/Config"), config}));
    info = imagex({QStringLiteral("info"), wim});
    EXPECT_EQ(field(info, QStringLiteral("Image Count")), QStringLiteral("2"));
    EXPECT_EQ(field(info, QStringLiteral("Boot Index")), QStringLiteral("2"));
    const QString second = imagex({QStringLiteral("dir"), wim, QStringLiteral("2")});
    EXPECT_TRUE(second.contains(QStringLiteral("/sub/b.txt"))) << second.toStdString();
    EXPECT_FALSE(second.contains(QStringLiteral("/skip"))) << "the configuration file's exclusion was not applied";
    EXPECT_TRUE(imagex({QStringLiteral("dir"), wim, QStringLiteral("1")}).contains(QStringLiteral("/skip/c.txt")));

    // A capture onto an existing file replaces it; "/Boot" marks its one image.
    expectOk(kestrel({QStringLiteral("/Capture"), src, wim, QStringLiteral("/Boot")}));
    info = imagex({QStringLiteral("info"), wim});
    EXPECT_EQ(field(info, QStringLiteral("Image Count")), QStringLiteral("1"));
    EXPECT_EQ(field(info, QStringLiteral("Boot Index")), QStringLiteral("1"));
    EXPECT_EQ(field(info, QStringLiteral("Compression")), QStringLiteral("LZX"));
}

// "/Capture" onto an existing file replaces it only once the new image is
// complete: a capture that fails leaves the old file and its images.
TEST_F(CommandLineRun, AFailedCaptureLeavesTheFileItWouldReplace)
{
    const QString wim = captureTwo(QStringLiteral("keep.wim"));
    // A temporary folder that cannot be made fails the capture after the
    // target was opened.
    write(dir + QStringLiteral("/blocker"), "a file, not a folder\n");
    expectOk(kestrel({QStringLiteral("/WimTemp"), dir + QStringLiteral("/blocker/temp")}));
    expectFailure(kestrel({QStringLiteral("/Capture"), src, wim}), 1);
    expectOk(kestrel({QStringLiteral("/WimTemp"), dir + QStringLiteral("/temp")}));
    EXPECT_EQ(field(imagex({QStringLiteral("info"), wim}), QStringLiteral("Image Count")), QStringLiteral("2"));
    EXPECT_TRUE(imagex({QStringLiteral("verify"), wim}).contains(QStringLiteral("verified"), Qt::CaseInsensitive));

    expectOk(kestrel({QStringLiteral("/Capture"), src, wim + QStringLiteral(",Only")}));
    const QString info = imagex({QStringLiteral("info"), wim});
    EXPECT_EQ(field(info, QStringLiteral("Image Count")), QStringLiteral("1"));
    EXPECT_EQ(field(info, QStringLiteral("Name")), QStringLiteral("Only"));
    EXPECT_EQ(QDir(dir).entryList({QStringLiteral("keep.wim*")}, QDir::Files), QStringList{QStringLiteral("keep.wim")})
        << "a file of the capture was left beside the target";
}

TEST_F(CommandLineRun, ApplyBesideTheFileByNameAndIntoAFolder)
{
    const QString wim = captureTwo(QStringLiteral("a.wim"));
    // "/NotAcl" in third position: into a folder named after the file.
    expectOk(kestrel({QStringLiteral("/Apply"), wim + QStringLiteral(",2"), QStringLiteral("/NotAcl")}));
    EXPECT_TRUE(QFileInfo(dir + QStringLiteral("/a/sub/b.txt")).isFile());
    EXPECT_TRUE(QFileInfo(dir + QStringLiteral("/a/empty")).isDir());

    const QString target = dir + QStringLiteral("/deep/new/target");
    expectOk(kestrel({QStringLiteral("/APPLY"), wim + QStringLiteral(",Second"), target, QStringLiteral("/NotAcl")}));
    QFile f(target + QStringLiteral("/a.txt"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("alpha\n"));

    expectFailure(kestrel({QStringLiteral("/Apply"), wim + QStringLiteral(",5"), target}), 1);
    // A name that no image has applies nothing (not image 1).
    const QString misnamed = dir + QStringLiteral("/misnamed");
    expectFailure(kestrel({QStringLiteral("/Apply"), wim + QStringLiteral(",second"), misnamed}), 1);
    EXPECT_FALSE(QFileInfo::exists(misnamed));
    expectFailure(kestrel({QStringLiteral("/Apply"), dir + QStringLiteral("/none.wim"), target}), 1);
    expectFailure(kestrel({QStringLiteral("/Apply"), wim}), 2);
    expectFailure(kestrel({QStringLiteral("/Apply"), dir + QStringLiteral("/two\nlines.wim"), target}), 1);
    // Without a display "/ExtrImage" does the same work without its window.
    expectOk(kestrel({QStringLiteral("/ExtrImage"), wim + QStringLiteral(",1"), dir + QStringLiteral("/x")}));
    EXPECT_TRUE(QFileInfo(dir + QStringLiteral("/x/skip/c.txt")).isFile());
}

TEST_F(CommandLineRun, ExportAllImagesOrOne)
{
    const QString wim = captureTwo(QStringLiteral("e.wim"));
    const QString all = dir + QStringLiteral("/all.wim");
    expectOk(kestrel({QStringLiteral("/Export"), wim, all}));
    QString info = imagex({QStringLiteral("info"), all});
    EXPECT_EQ(field(info, QStringLiteral("Image Count")), QStringLiteral("2"));

    const QString one = dir + QStringLiteral("/one.esd");
    expectOk(kestrel({QStringLiteral("/Export"), wim + QStringLiteral(",2"), one, QStringLiteral("/Compress"),
                      QStringLiteral("Lzms"), QStringLiteral("/Boot")}));
    info = imagex({QStringLiteral("info"), one});
    EXPECT_EQ(field(info, QStringLiteral("Image Count")), QStringLiteral("1"));
    EXPECT_EQ(field(info, QStringLiteral("Name")), QStringLiteral("Second"));
    EXPECT_EQ(field(info, QStringLiteral("Compression")), QStringLiteral("LZMS"));
    EXPECT_EQ(field(info, QStringLiteral("Boot Index")), QStringLiteral("1"));
    EXPECT_TRUE(imagex({QStringLiteral("verify"), one}).contains(QStringLiteral("verified"), Qt::CaseInsensitive));

    // A name that no image has exports nothing (not every image).
    const QString none = dir + QStringLiteral("/none.wim");
    expectFailure(kestrel({QStringLiteral("/Export"), wim + QStringLiteral(",Secnod"), none}), 1);
    EXPECT_FALSE(QFileInfo::exists(none));

    // The same image again: the target already holds it.
    expectFailure(kestrel({QStringLiteral("/Export"), wim + QStringLiteral(",2"), one}), 1);
}

TEST_F(CommandLineRun, SplitIntoPartsAndSizeZeroDoesNothing)
{
    QByteArray noise(3 * 1024 * 1024, '\0');
    uint32_t x = 12345;
    for (char& c : noise) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 24);
    }
    write(src + QStringLiteral("/noise.bin"), noise);
    const QString wim = dir + QStringLiteral("/s.wim");
    expectOk(kestrel({QStringLiteral("/Capture"), src, wim}));
    const QString parts = dir + QStringLiteral("/part.swm");
    expectFailure(kestrel({QStringLiteral("/Split"), wim, parts + QStringLiteral(",0")}), 2);
    EXPECT_FALSE(QFileInfo::exists(parts));
    expectFailure(kestrel({QStringLiteral("/Split"), wim, parts}), 2);

    expectOk(kestrel({QStringLiteral("/Split"), wim, parts + QStringLiteral(",1")}));
    const QString info = imagex({QStringLiteral("info"), parts});
    const QString partField = field(info, QStringLiteral("Part Number"));
    EXPECT_TRUE(partField.startsWith(QStringLiteral("1/"))) << info.toStdString();
    EXPECT_GE(partField.mid(2).toInt(), 3);
    EXPECT_TRUE(QFileInfo(dir + QStringLiteral("/part2.swm")).isFile());
    // Applying from the last part finds the set.
    expectOk(kestrel({QStringLiteral("/Apply"), dir + QStringLiteral("/part") + partField.mid(2) + QStringLiteral(".swm"),
                      dir + QStringLiteral("/fromparts")}));
    EXPECT_EQ(QFileInfo(dir + QStringLiteral("/fromparts/noise.bin")).size(), noise.size());
}

TEST_F(CommandLineRun, PathsInsideAnImage)
{
    const QString wim = captureTwo(QStringLiteral("p.wim"));
    const QString out = dir + QStringLiteral("/out/deeper");
    expectOk(kestrel({QStringLiteral("/ExtrPath"), wim + QStringLiteral(",1"), QStringLiteral("\\sub\\b.txt"), out}));
    // wimlib keeps the path of what it extracts below the target.
    EXPECT_TRUE(QFileInfo(out + QStringLiteral("/sub/b.txt")).isFile());
    // Without an image number the extraction gets image 0 and fails.
    expectFailure(kestrel({QStringLiteral("/ExtrPath"), wim, QStringLiteral("\\sub\\b.txt"), out}), 1);

    const QString extra = dir + QStringLiteral("/extra.txt");
    write(extra, "new\n");
    expectOk(kestrel({QStringLiteral("/AppenPath"), wim + QStringLiteral(",2"), QStringLiteral("sub"), extra}));
    const QString listing = imagex({QStringLiteral("dir"), wim, QStringLiteral("2")});
    EXPECT_TRUE(listing.contains(QStringLiteral("/sub/extra.txt"))) << listing.toStdString();
    EXPECT_FALSE(imagex({QStringLiteral("dir"), wim, QStringLiteral("1")}).contains(QStringLiteral("extra.txt")));
    EXPECT_TRUE(imagex({QStringLiteral("verify"), wim}).contains(QStringLiteral("verified"), Qt::CaseInsensitive));
    expectFailure(kestrel({QStringLiteral("/AppenPath"), wim + QStringLiteral(",2"), QStringLiteral("sub")}), 2);

    // "." and "dir/.." add the folder under its own name.
    write(dir + QStringLiteral("/dot/d.txt"), "dot\n");
    write(dir + QStringLiteral("/up/u.txt"), "up\n");
    QDir().mkpath(dir + QStringLiteral("/up/inner"));
    expectOk(kestrel({QStringLiteral("/AppenPath"), wim + QStringLiteral(",1"), QStringLiteral("\\"), QStringLiteral(".")},
                     dir + QStringLiteral("/dot")));
    expectOk(kestrel({QStringLiteral("/AppenPath"), wim + QStringLiteral(",1"), QStringLiteral("sub"),
                      dir + QStringLiteral("/up/inner/..")}));
    const QString first = imagex({QStringLiteral("dir"), wim, QStringLiteral("1")});
    EXPECT_TRUE(first.contains(QStringLiteral("\n/dot/d.txt"))) << first.toStdString();
    EXPECT_TRUE(first.contains(QStringLiteral("\n/sub/up/u.txt"))) << first.toStdString();
    expectFailure(kestrel({QStringLiteral("/AppenPath"), wim + QStringLiteral(",1"), QStringLiteral("sub"),
                           QStringLiteral("/")}),
                  2);
}

TEST_F(CommandLineRun, SettingsSwitchesAndExitCodes)
{
    expectOk(kestrel({QStringLiteral("/WimTemp"), dir + QStringLiteral("/temp")}));
    expectOk(kestrel({QStringLiteral("/MountPath"), dir + QStringLiteral("/mounts")}));
    EXPECT_EQ(ReadRegistryText(QString::fromUtf16(kSettingsSubKey), QStringLiteral("WimTempPath")).value_or(QString()),
              dir + QStringLiteral("/temp"));
    EXPECT_EQ(ReadRegistryText(QString::fromUtf16(kSettingsSubKey), QStringLiteral("AutoMountPath")).value_or(QString()),
              dir + QStringLiteral("/mounts"));

    expectFailure(kestrel({QStringLiteral("/CleanUp"), QStringLiteral("extra")}), 2);
    expectFailure(kestrel({QStringLiteral("/Icon"), QStringLiteral("many")}), 2);
    expectFailure(kestrel({QStringLiteral("/UnMount"), QStringLiteral("/Commit")}), 2);
    expectFailure(kestrel({QStringLiteral("/UnMount"), dir + QStringLiteral("/nothing-here")}), 1);
    expectFailure(kestrel({QStringLiteral("/ReMount"), dir + QStringLiteral("/nothing-here")}), 1);
    expectOk(kestrel({QStringLiteral("/ReMount"), QString()})); // all of none: nothing to do
    expectFailure(kestrel({QStringLiteral("/Capture"), dir + QStringLiteral("/no-folder"), dir + QStringLiteral("/x.wim")}), 1);
}

// "/Register Exec" sets the association for this program and "/Unload Exec"
// takes it away; the handlers need the module beside the program.
TEST_F(CommandLineRun, RegisterAndUnloadTheShellIntegration)
{
    const QString entry = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications/kestrel-open.desktop");
    expectOk(kestrel({QStringLiteral("/Register"), QStringLiteral("Exec")}));
    QFile f(entry);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << entry.toStdString();
    EXPECT_TRUE(f.readAll().contains(QStringLiteral("Exec=\"%1\" %f /OpenFile").arg(program()).toUtf8()));
    f.close();
    expectOk(kestrel({QStringLiteral("/Unload"), QStringLiteral("Exec")}));
    EXPECT_FALSE(QFileInfo::exists(entry));
    // Nothing left to remove is a failure of that step.
    expectFailure(kestrel({QStringLiteral("/Unload"), QStringLiteral("Exec")}), 1);
    expectFailure(kestrel({QStringLiteral("/Register"), QStringLiteral("Everything")}), 2);

    const QString module = QFileInfo(program()).absolutePath() + QStringLiteral("/libKestrelShell.so");
    const Run menu = kestrel({QStringLiteral("/Register"), QStringLiteral("Memu")});
    if (QFileInfo::exists(module) && BuildMatchesSystemWidth(SystemMachine())) {
        expectOk(menu);
        expectOk(kestrel({QStringLiteral("/Unload"), QStringLiteral("Memu")}));
    } else if (QFileInfo::exists(module)) {
        // An i386 build on an x86-64 system registers nothing.
        expectFailure(menu, 1);
        EXPECT_TRUE(menu.err.contains(QStringLiteral("menu handler"))) << menu.err.toStdString();
    } else {
        expectFailure(menu, 1);
        EXPECT_TRUE(menu.err.contains(QStringLiteral("libKestrelShell.so"))) << menu.err.toStdString();
    }
}

// An option word where a path belongs means the path was left out: taken as
// a path it would write a file such as "/Boot" at the top of the file system.
TEST_F(CommandLineRun, AnOptionWhereAPathBelongsIsAWrongArgument)
{
    const QString wim = dir + QStringLiteral("/o.wim");
    expectOk(kestrel({QStringLiteral("/Capture"), src, wim}));
    const QStringList words = {QStringLiteral("/Boot"), QStringLiteral("/BOOT"), QStringLiteral("/Compress"), QStringLiteral("/NotAcl"),
                               QStringLiteral("/Commit"), QStringLiteral("/Update"), QStringLiteral("/Config")};
    QStringList existedBefore;
    for (const QString& w : words) {
        if (QFileInfo::exists(w))
            existedBefore << w;
    }
    const QString target = dir + QStringLiteral("/t");
    const QStringList rows[] = {
        {QStringLiteral("/Capture"), src, QStringLiteral("/Boot")},
        {QStringLiteral("/CompPath"), src, QStringLiteral("/Compress"), QStringLiteral("Lzx")},
        {QStringLiteral("/Append"), QStringLiteral("/Config"), wim},
        {QStringLiteral("/Export"), wim, QStringLiteral("/BOOT")},
        {QStringLiteral("/Mount"), wim, QStringLiteral("/NotAcl")},
        {QStringLiteral("/Apply"), QStringLiteral("/Commit"), target},
        {QStringLiteral("/Split"), QStringLiteral("/Update"), target + QStringLiteral(",1")},
        {QStringLiteral("/ExtrPath"), wim + QStringLiteral(",1"), QStringLiteral("/a.txt"), QStringLiteral("/Update")},
        {QStringLiteral("/WimTemp"), QStringLiteral("/Boot")},
    };
    for (const QStringList& row : rows) {
        SCOPED_TRACE(row.join(u' ').toStdString());
        expectFailure(kestrel(row), 2);
    }
    for (const QString& w : words) {
        if (existedBefore.contains(w) || !QFileInfo::exists(w))
            continue;
        ADD_FAILURE() << w.toStdString() << " was written at the top of the file system";
        QFile::remove(w);
    }
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_EQ(field(imagex({QStringLiteral("info"), wim}), QStringLiteral("Image Count")), QStringLiteral("1"));
}

// Settings and capture lists that would silently break or change later work
// are refused before anything runs.
TEST_F(CommandLineRun, UnusableFolderSettingsAndConfigurationFilesAreRefused)
{
    expectOk(kestrel({QStringLiteral("/WimTemp"), dir + QStringLiteral("/temp")}));
    // An empty temporary folder would make every later operation fail.
    expectFailure(kestrel({QStringLiteral("/WimTemp"), QString()}), 2);
    expectFailure(kestrel({QStringLiteral("/MountPath"), QStringLiteral("  ")}), 2);
    EXPECT_EQ(ReadRegistryText(QString::fromUtf16(kSettingsSubKey), QStringLiteral("WimTempPath")).value_or(QString()),
              dir + QStringLiteral("/temp"));
    expectOk(kestrel({QStringLiteral("/Capture"), src, dir + QStringLiteral("/still.wim")}));

    // Without its configuration file the capture would take every file in.
    const QString wim = dir + QStringLiteral("/cfg.wim");
    const QString missing = dir + QStringLiteral("/missing.ini");
    expectFailure(kestrel({QStringLiteral("/Capture"), src, wim, QStringLiteral("/Config"), missing}), 2);
    expectFailure(kestrel({QStringLiteral("/Capture"), src, wim, QStringLiteral("/Boot"), QStringLiteral("/Config")}), 2);
    expectFailure(kestrel({QStringLiteral("/Capture"), src, wim, QStringLiteral("/Config"), src}), 2);
    EXPECT_FALSE(QFileInfo::exists(wim));
    expectFailure(kestrel({QStringLiteral("/Apply"), dir + QStringLiteral("/still.wim"), dir + QStringLiteral("/out"),
                           QStringLiteral("/Config"), missing}),
                  2);
    EXPECT_FALSE(QFileInfo::exists(dir + QStringLiteral("/out")));
}

// Paths longer than the task record holds were cut, and the work landed on
// another file or folder.
TEST_F(CommandLineRun, OverlongPathsAreRefusedNotCut)
{
    const QString parent = dir + u'/' + QString(200, u'd') + u'/' + QString(200, u'e');
    const QString deep = parent + u'/' + QString(100, u'g');
    QDir().mkpath(deep);
    ASSERT_GE(deep.size(), 512);
    expectFailure(kestrel({QStringLiteral("/Capture"), src, parent + u'/' + QString(150, u'f') + QStringLiteral(".wim")}), 2);
    EXPECT_EQ(QDir(parent).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 1)
        << "the capture wrote to a cut path";

    // A short file name whose folder beside it would be too long.
    imagex({QStringLiteral("capture"), src, deep + QStringLiteral("/x.wim")});
    ASSERT_TRUE(QFileInfo(deep + QStringLiteral("/x.wim")).isFile());
    expectFailure(kestrel({QStringLiteral("/Apply"), QStringLiteral("x.wim"), QStringLiteral("/NotAcl")}, deep), 2);
    EXPECT_EQ(QDir(parent).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 1);
    EXPECT_EQ(QDir(deep).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("x.wim")});
}

TEST_F(CommandLineRun, IconRemovesTheThumbnailsOfImageFilesOnly)
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/thumbnails/normal");
    QDir().mkpath(cache);
    auto thumbnail = [&](const QString& name, const QString& uri) {
        QImage image(8, 8, QImage::Format_ARGB32);
        image.fill(Qt::red);
        image.setText(QStringLiteral("Thumb::URI"), uri);
        EXPECT_TRUE(image.save(cache + u'/' + name, "PNG"));
        return cache + u'/' + name;
    };
    const QString wim = thumbnail(QStringLiteral("1.png"), QStringLiteral("file:///data/Install.WIM"));
    const QString esd = thumbnail(QStringLiteral("2.png"), QStringLiteral("file:///data/x.esd"));
    const QString photo = thumbnail(QStringLiteral("3.png"), QStringLiteral("file:///data/photo.jpg"));
    write(cache + QStringLiteral("/4.png"), "not a png");
    expectOk(kestrel({QStringLiteral("/Icon"), QStringLiteral("100")}));
    EXPECT_FALSE(QFile::exists(wim));
    EXPECT_FALSE(QFile::exists(esd));
    EXPECT_TRUE(QFile::exists(photo));
    EXPECT_TRUE(QFile::exists(cache + QStringLiteral("/4.png")));
}

// With a display the three switches show their progress window, which
// closes by itself when the work is done.
TEST_F(CommandLineRun, ProgressWindowsCloseByThemselvesOnAVirtualDisplay)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfb.isEmpty())
        GTEST_SKIP() << "xvfb-run is not installed: no display to show the progress windows on";
    auto withDisplay = [&](const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM")); // the tests' off-screen platform would hide the display
        p.setProcessEnvironment(env);
        p.start(xvfb, QStringList{QStringLiteral("-a"), program()} + args);
        const bool ended = p.waitForFinished(120000);
        if (!ended)
            p.kill();
        EXPECT_TRUE(ended) << "the progress window did not close";
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        EXPECT_TRUE(p.readAllStandardError().isEmpty());
    };
    const QString wim = dir + QStringLiteral("/w.wim");
    withDisplay({QStringLiteral("/CompPath"), src, wim + QStringLiteral(",Shown")});
    EXPECT_EQ(field(imagex({QStringLiteral("info"), wim}), QStringLiteral("Name")), QStringLiteral("Shown"));
    withDisplay({QStringLiteral("/ExtrImage"), wim, dir + QStringLiteral("/shown")});
    EXPECT_TRUE(QFileInfo(dir + QStringLiteral("/shown/sub/b.txt")).isFile());
    const QString esd = dir + QStringLiteral("/w.esd");
    withDisplay({QStringLiteral("/Export"), wim, esd, QStringLiteral("/Compress"), QStringLiteral("Lzms")});
    EXPECT_EQ(field(imagex({QStringLiteral("info"), esd}), QStringLiteral("Compression")), QStringLiteral("LZMS"));
}

// Always leaves the mount folders unmounted, also when a check failed.
struct MountGuard {
    QStringList folders;
    ~MountGuard()
    {
        for (const QString& folder : folders) {
            if (!IsMountPoint(folder))
                continue;
            QProcess p;
            p.start(QStringLiteral("fusermount"), {QStringLiteral("-u"), QStringLiteral("-z"), folder});
            if (!p.waitForFinished(20000))
                p.kill();
        }
    }
};

TEST_F(CommandLineRun, MountRemountAndUnmountOwnMounts)
{
    const QString why = FuseProblem();
    if (!why.isEmpty())
        GTEST_SKIP() << "no real FUSE mounts here: " << why.toStdString();
    const QString wim = captureTwo(QStringLiteral("m.wim"));
    const QString first = dir + QStringLiteral("/mnt1");
    const QString second = dir + QStringLiteral("/mnt2");
    QDir().mkpath(first);
    QDir().mkpath(second);
    MountGuard guard{{first, second}};
    // Set an automatic mount base so that nothing lands elsewhere.
    expectOk(kestrel({QStringLiteral("/MountPath"), dir + QStringLiteral("/auto")}));

    // A name that no image has mounts nothing (not image 1).
    expectFailure(kestrel({QStringLiteral("/Mount"), wim + QStringLiteral(",Third"), first}), 1);
    EXPECT_FALSE(IsMountPoint(first));
    expectOk(kestrel({QStringLiteral("/Mount"), wim + QStringLiteral(",2"), first}));
    ASSERT_TRUE(IsMountPoint(first));
    EXPECT_TRUE(QFileInfo(first + QStringLiteral("/sub/b.txt")).isFile());
    // A mount that still runs needs no remount and stays as it is.
    expectOk(kestrel({QStringLiteral("/ReMount"), first}));
    EXPECT_TRUE(QFileInfo(first + QStringLiteral("/sub/b.txt")).isFile());
    expectOk(kestrel({QStringLiteral("/MountRW"), wim + QStringLiteral(",First"), second}));
    ASSERT_TRUE(IsMountPoint(second));
    expectFailure(kestrel({QStringLiteral("/UnMount"), second, QStringLiteral("/Update")}), 1); // cannot ask
    ASSERT_TRUE(IsMountPoint(second)) << "a mount whose commit could not be asked was unmounted";
    write(second + QStringLiteral("/added.txt"), "kept\n");
    expectOk(kestrel({QStringLiteral("/UnMount"), second, QStringLiteral("/Commit")}));
    EXPECT_FALSE(IsMountPoint(second));
    EXPECT_TRUE(imagex({QStringLiteral("dir"), wim, QStringLiteral("1")}).contains(QStringLiteral("/added.txt")))
        << "the committed change is not in the image";
    expectOk(kestrel({QStringLiteral("/MountRW"), wim + QStringLiteral(",1"), second}));
    ASSERT_TRUE(IsMountPoint(second));
    QFile::remove(second + QStringLiteral("/added.txt"));

    // A mount folder given relative to the current folder names the same mount.
    const Run relative = kestrel({QStringLiteral("/UnMount"), QStringLiteral("mnt1")}, dir);
    expectOk(relative);
    EXPECT_FALSE(IsMountPoint(first));
    expectOk(kestrel({QStringLiteral("/Mount"), wim + QStringLiteral(",2"), first}));
    ASSERT_TRUE(IsMountPoint(first));

    // Only this test's own mounts are touched ("/All" and "/CleanUp" act on
    // every mount of the machine, other tests' included). Without "/Commit"
    // a read-write mount is unmounted without saving. A folder given through
    // a symbolic link names the folder it leads to.
    expectOk(kestrel({QStringLiteral("/UnMount"), second}));
    const QString link = dir + QStringLiteral("/link-to-mnt1");
    ASSERT_TRUE(QFile::link(first, link));
    expectOk(kestrel({QStringLiteral("/UnMount"), link}));
    EXPECT_FALSE(IsMountPoint(first));
    EXPECT_FALSE(IsMountPoint(second));
    EXPECT_TRUE(imagex({QStringLiteral("dir"), wim, QStringLiteral("1")}).contains(QStringLiteral("/added.txt")));
    EXPECT_TRUE(imagex({QStringLiteral("verify"), wim}).contains(QStringLiteral("verified"), Qt::CaseInsensitive));
}

} // namespace

// Help and version go to standard output and end with 0, before anything
// else runs (no settings, no display needed).
TEST_F(CommandLineRun, HelpAndVersionPrintOnStandardOutput)
{
    for (const char* arg : {"--help", "-h", "/?"}) {
        const Run r = kestrel({QString::fromLatin1(arg)});
        EXPECT_EQ(r.code, 0) << arg << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
        // Every switch with an example.
        for (const char16_t* name : kSwitchNames) {
            const QString sw = QString::fromUtf16(name);
            EXPECT_TRUE(r.out.contains(QStringLiteral("  ") + sw + u' ')) << arg << " lacks " << sw.toStdString();
            const QString example = QStringLiteral("Kestrel ") + sw;
            EXPECT_TRUE(r.out.contains(example + u' ') || r.out.contains(example + u'\n'))
                << arg << " has no example of " << sw.toStdString();
        }
    }
    const Run v = kestrel({QStringLiteral("--version")});
    EXPECT_EQ(v.code, 0);
    EXPECT_EQ(v.out, QStringLiteral("Kestrel ") + ProgramVersion() + u'\n');
    EXPECT_TRUE(v.err.isEmpty());
}

// An argument that is no switch asks for the window; without any display the
// program says so and fails instead of letting Qt abort it.
TEST_F(CommandLineRun, WindowWithoutAnyDisplayFailsWithOneLine)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    p.setProcessEnvironment(env);
    p.start(program(), {QStringLiteral("/NoSuchSwitch")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1);
    const QStringList lines = QString::fromUtf8(p.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().contains(QStringLiteral("no display"))) << lines.first().toStdString();
}
