// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user registration and association, in the private home of the
// test binary, checked with the desktop's own tools where they decide.
#include "shell/association.h"
#include "shell/desktopfiles.h"
#include "shell/mimeapps.h"
#include "shell/shellregistration.h"
#include "shell/xdgfiles.h"

#include "common/language.h"
#include "imaging/resources.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

// The built-in (Chinese) texts; loaded once the carried resources are
// registered, which static initialisation does not promise.
void useBuiltInLanguage()
{
    static const bool loaded = (UseCarriedLanguage(), LoadBuiltInLanguage(), true);
    (void)loaded;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeText(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

// A command's standard output, trimmed; its exit code through `code`.
QString run(const QString& program, const QStringList& args, int* code = nullptr)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    if (code)
        *code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// Each test gets fresh XDG folders of its own.
class ShellRegistrationTest : public testing::Test {
protected:
    void SetUp() override
    {
        useBuiltInLanguage();
        m_root = MakeTestDir(QStringLiteral("shell"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_root + QStringLiteral("/data")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root + QStringLiteral("/config")));
        qputenv("KESTREL_SYSTEM_DATA_DIR", QFile::encodeName(m_root + QStringLiteral("/system")));
        qputenv("KESTREL_SYSTEM_LIB_DIR", QFile::encodeName(m_root + QStringLiteral("/systemlib")));
        m_install.folder = m_root + QStringLiteral("/install dir");
        m_install.menuName = GetLanguageString(267);
        QDir().mkpath(m_install.folder);
    }
    void TearDown() override
    {
        for (const char* name : {"KESTREL_SYSTEM_DATA_DIR", "KESTREL_SYSTEM_LIB_DIR"})
            qunsetenv(name);
    }

    bool recordHas(const char* text) { return readAll(shellfiles::Record()).contains(text); }
    QString configFile(const QString& name) { return m_root + QStringLiteral("/config/") + name; }

    QString m_root;
    ShellInstall m_install;
};

TEST_F(ShellRegistrationTest, AssociationIsWhatTheDesktopToolsSee)
{
    if (QStandardPaths::findExecutable(QStringLiteral("update-mime-database")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("gio")).isEmpty())
        GTEST_SKIP() << "shared-mime-info, xdg-utils or gio (libglib2.0-bin) is not installed";
    // Another program's default for another type, which must survive.
    writeText(configFile(QStringLiteral("mimeapps.list")),
              "# the user's own note\n[Default Applications]\ntext/plain=other-editor.desktop;\n");

    ASSERT_TRUE(SetFileAssociation(m_install, true));

    // gio decides the type from the user's mime database (the GNOME way).
    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    for (const char* name : {"x.esd", "x.wim", "x.swm"}) {
        const QString file = m_root + u'/' + QLatin1String(name);
        writeText(file, "MSWIM\0\0\0" + QByteArray(200, '\0'));
        EXPECT_EQ(run(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("filetype"), file}),
                  QStringLiteral("application/x-ms-wim"))
            << name;
    }
    EXPECT_EQ(run(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                               QStringLiteral("application/x-ms-wim")}),
              QStringLiteral("kestrel-open.desktop"));
    qunsetenv("XDG_CURRENT_DESKTOP");
    if (!QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate")).isEmpty()) {
        int code = -1;
        const QString out = run(QStringLiteral("desktop-file-validate"), {shellfiles::OpenEntry()}, &code);
        EXPECT_EQ(code, 0) << out.toStdString();
    }
    EXPECT_TRUE(OpenCommandIsOurs(m_install));
    EXPECT_EQ(ExecProgramOf(readAll(shellfiles::OpenEntry())), m_install.program());
    EXPECT_TRUE(QFileInfo::exists(m_root + QStringLiteral("/data/icons/hicolor/48x48/mimetypes/application-x-ms-wim.png")));

    ASSERT_TRUE(SetFileAssociation(m_install, false));
    const QByteArray list = readAll(configFile(QStringLiteral("mimeapps.list")));
    EXPECT_TRUE(list.contains("# the user's own note\n")) << list.toStdString();
    EXPECT_TRUE(list.contains("text/plain=other-editor.desktop;")) << list.toStdString();
    EXPECT_FALSE(list.contains("kestrel-open.desktop")) << "no icon handler keeps the open-with entry";
    EXPECT_FALSE(QFileInfo::exists(shellfiles::OpenEntry()));
    EXPECT_FALSE(OpenCommandIsOurs(m_install));
    EXPECT_TRUE(QFileInfo::exists(shellfiles::MimePackage())) << "the mime package stays";
    EXPECT_FALSE(QFileInfo::exists(m_root + QStringLiteral("/data/icons/hicolor/48x48/mimetypes/application-x-ms-wim.png")));
    // Nothing to remove any more.
    EXPECT_FALSE(SetFileAssociation(m_install, false));
}

// The open-with entry stays while either the association or the icon
// handler points at this installation.
TEST_F(ShellRegistrationTest, OpenWithEntryFollowsAssociationAndIconHandler)
{
    const QString list = configFile(QStringLiteral("mimeapps.list"));
    writeText(list, "[Added Associations]\napplication/x-ms-wim=archiver.desktop;\n");
    ASSERT_EQ(RegisterIconShellExtension(m_install, true), 0);
    EXPECT_TRUE(IconHandlerIsOurs(m_install));
    EXPECT_TRUE(readAll(list).contains("application/x-ms-wim=archiver.desktop;kestrel-open.desktop;"))
        << readAll(list).toStdString();
    ASSERT_TRUE(SetFileAssociation(m_install, true));
    ASSERT_TRUE(SetFileAssociation(m_install, false));
    EXPECT_TRUE(readAll(list).contains("kestrel-open.desktop")) << "the icon handler still points here";
    ASSERT_EQ(RegisterIconShellExtension(m_install, false), 0);
    EXPECT_TRUE(readAll(list).contains("application/x-ms-wim=archiver.desktop;")) << readAll(list).toStdString();
    EXPECT_FALSE(readAll(list).contains("kestrel-open.desktop"));
}

struct StateCase {
    const char* name;
    bool icon;
    bool menu;
};

void PrintTo(const StateCase& c, std::ostream* os)
{
    *os << c.name;
}

class RegistrationStates : public ShellRegistrationTest, public testing::WithParamInterface<StateCase> {};

// Register what the case names, then take the handlers away one at a time:
// the class record and the approval text live exactly as long as a handler.
TEST_P(RegistrationStates, SharedRecordLivesAsLongAsAHandler)
{
    const StateCase c = GetParam();
    if (c.icon) {
        ASSERT_EQ(RegisterIconShellExtension(m_install, true), 0);
    }
    if (c.menu) {
        ASSERT_EQ(RegisterMenuShellExtension(m_install, true), 0);
    }
    EXPECT_EQ(IconHandlerExists(), c.icon);
    EXPECT_EQ(MenuHandlersExist(), c.menu);
    const bool any = c.icon || c.menu;
    EXPECT_EQ(recordHas("[Class]"), any);
    EXPECT_EQ(recordHas(kShellApprovalText), any);
    if (c.icon) {
        EXPECT_EQ(ExecProgramOf(readAll(shellfiles::Thumbnailer())), m_install.host());
        EXPECT_EQ(RegisterIconShellExtension(m_install, false), 0);
        EXPECT_EQ(recordHas("[Class]"), c.menu) << "the menu handler keeps the class";
        EXPECT_EQ(recordHas(kShellApprovalText), c.menu);
    }
    if (c.menu) {
        EXPECT_EQ(RegisterMenuShellExtension(m_install, false), 0);
        EXPECT_FALSE(MenuHandlersExist());
    }
    EXPECT_FALSE(QFileInfo::exists(shellfiles::Record())) << readAll(shellfiles::Record()).toStdString();
    // Removing what is not registered fails, as deleting a missing key does.
    EXPECT_EQ(RegisterIconShellExtension(m_install, false), 1);
    EXPECT_EQ(RegisterMenuShellExtension(m_install, false), 1);
}

INSTANTIATE_TEST_SUITE_P(Table, RegistrationStates,
                         testing::Values(StateCase{"IconOnly", true, false}, StateCase{"MenuOnly", false, true},
                                         StateCase{"Both", true, true}, StateCase{"None", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ShellRegistrationTest, ServerExportsDoBothAndUndoBoth)
{
    EXPECT_EQ(RegisterShellServer(m_install), 0);
    EXPECT_TRUE(IconHandlerExists());
    EXPECT_TRUE(MenuHandlersExist());
    EXPECT_TRUE(recordHas("Module=" ) && recordHas(m_install.module().toUtf8().constData()));
    EXPECT_EQ(UnregisterShellServer(m_install), 0);
    EXPECT_FALSE(IconHandlerExists());
    EXPECT_FALSE(MenuHandlersExist());
    EXPECT_FALSE(QFileInfo::exists(shellfiles::Record()));
    EXPECT_EQ(UnregisterShellServer(m_install), 3) << "nothing was left to remove";
}

TEST_F(ShellRegistrationTest, ApprovalTextOfAnotherProgramStays)
{
    ASSERT_EQ(RegisterMenuShellExtension(m_install, true), 0);
    QByteArray record = readAll(shellfiles::Record());
    record.replace(kShellApprovalText, "Another tool's approval");
    writeText(shellfiles::Record(), record);
    ASSERT_EQ(RegisterMenuShellExtension(m_install, false), 0);
    EXPECT_TRUE(recordHas("Another tool's approval"));
    EXPECT_FALSE(recordHas("[Class]"));
}

// Thunar keeps every custom action in one file: only Kestrel's come and go,
// and a file that is not an actions document is never overwritten.
TEST_F(ShellRegistrationTest, ThunarActionsOfOthersAreKept)
{
    const QString uca = shellfiles::ThunarActions();
    const QByteArray other = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n<action>\n"
                             "\t<icon>utilities-terminal</icon>\n\t<name>Open Terminal Here</name>\n"
                             "\t<unique-id>1602623880150471-1</unique-id>\n\t<command>exo-open --working-directory %f"
                             "</command>\n\t<patterns>*</patterns>\n\t<directories/>\n</action>\n</actions>\n";
    writeText(uca, other);
    ASSERT_EQ(RegisterMenuShellExtension(m_install, true), 0);
    QByteArray now = readAll(uca);
    EXPECT_TRUE(now.contains("1602623880150471-1")) << now.toStdString();
    EXPECT_TRUE(now.contains("kestrel-wim-menu-file")) << now.toStdString();
    EXPECT_TRUE(now.contains(m_install.host().toUtf8())) << now.toStdString();
    // Registering twice leaves one set of Kestrel's actions.
    ASSERT_EQ(RegisterMenuShellExtension(m_install, true), 0);
    EXPECT_EQ(readAll(uca).count("kestrel-wim-menu-file<"), 1);
    ASSERT_EQ(RegisterMenuShellExtension(m_install, false), 0);
    now = readAll(uca);
    EXPECT_TRUE(now.contains("exo-open --working-directory %f")) << now.toStdString();
    EXPECT_FALSE(now.contains("kestrel")) << now.toStdString();

    writeText(uca, "not xml at all <");
    EXPECT_EQ(RegisterMenuShellExtension(m_install, true), 1);
    EXPECT_EQ(readAll(uca), QByteArray("not xml at all <"));
    RegisterMenuShellExtension(m_install, false);
}

// The menu files run the host with the selected path, and the executable
// ones are executable. The Nautilus script gives way to the native
// extension.
TEST_F(ShellRegistrationTest, MenuFilesRunTheHost)
{
    ASSERT_EQ(RegisterMenuShellExtension(m_install, true), 0);
    const QByteArray dolphin = readAll(shellfiles::DolphinMenu());
    EXPECT_EQ(ExecProgramOf(dolphin), m_install.host());
    EXPECT_TRUE(dolphin.contains("--menu %f"));
    ASSERT_FALSE(GetLanguageString(267).isEmpty());
    EXPECT_TRUE(dolphin.contains(GetLanguageString(267).toUtf8()));
    EXPECT_TRUE(QFileInfo(shellfiles::DolphinMenu()).isExecutable());
    EXPECT_EQ(ExecProgramOf(readAll(shellfiles::NemoAction())), m_install.host());
    ASSERT_TRUE(QFileInfo(shellfiles::NautilusScript()).isExecutable());

    // The script hands its one argument to the host: a stand-in host
    // records what it was given.
    const QString marker = m_root + QStringLiteral("/ran.txt");
    writeText(m_install.host(), "#!/bin/sh\nprintf '%s|' \"$@\" > '" + marker.toUtf8() + "'\n");
    QFile::setPermissions(m_install.host(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    int code = -1;
    run(shellfiles::NautilusScript(), {QStringLiteral("/some where/a.wim")}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readAll(marker), QByteArray("--menu|/some where/a.wim|"));

    writeText(m_root + QStringLiteral("/systemlib/nautilus/extensions-4/libkestrel-nautilus.so"), "stand-in");
    ASSERT_EQ(RegisterMenuShellExtension(m_install, true), 0);
    EXPECT_FALSE(QFileInfo::exists(shellfiles::NautilusScript()));
}

TEST_F(ShellRegistrationTest, SystemThumbnailerMeansNoPerUserOne)
{
    writeText(shellfiles::SystemThumbnailer(), ThumbnailerText(m_install.host()));
    ASSERT_EQ(RegisterIconShellExtension(m_install, true), 0);
    EXPECT_FALSE(QFileInfo::exists(shellfiles::Thumbnailer()));
    EXPECT_TRUE(IconHandlerIsOurs(m_install));
    EXPECT_EQ(RegisterIconShellExtension(m_install, false), 0);
}

TEST(ShellModuleCheck, OnlyASharedObjectOfOurMachineFits)
{
    const QString dir = MakeTestDir(QStringLiteral("elf"));
    auto elf = [&](const char* name, uchar elfClass, uint16_t type, uint16_t machine) {
        QByteArray h(64, '\0');
        h.replace(0, 4, "\x7f" "ELF");
        h[4] = char(elfClass);
        h[5] = 1; // little-endian
        h[6] = 1;
        h[16] = char(type & 0xff);
        h[18] = char(machine & 0xff);
        const QString path = dir + u'/' + QLatin1String(name);
        writeText(path, h);
        return path;
    };
    EXPECT_TRUE(ShellModuleFits(elf("ours.so", 2, 3, 62)));
    EXPECT_FALSE(ShellModuleFits(elf("i386.so", 1, 3, 3)));
    EXPECT_FALSE(ShellModuleFits(elf("program", 2, 2, 62)));
    EXPECT_FALSE(ShellModuleFits(elf("arm.so", 2, 3, 183)));
    writeText(dir + QStringLiteral("/text.so"), "just text");
    EXPECT_FALSE(ShellModuleFits(dir + QStringLiteral("/text.so")));
    EXPECT_FALSE(ShellModuleFits(dir + QStringLiteral("/missing.so")));
    ShellModuleHandle missing(dir + QStringLiteral("/missing.so"));
    EXPECT_FALSE(missing);
    EXPECT_FALSE(missing.error().isEmpty());
}

TEST(DesktopFileText, ExecProgramSurvivesQuotingOfAwkwardPaths)
{
    for (const QString& path : {QStringLiteral("/opt/kestrel/x64/KestrelShell"), QStringLiteral("/home/a b/K\"s$`\\x&<")}) {
        EXPECT_EQ(ExecProgramOf(ThumbnailerText(path)), path);
        EXPECT_EQ(ExecProgramOf(DolphinServiceMenuText(path, QStringLiteral("n"))), path);
        EXPECT_EQ(ExecProgramOf(OpenDesktopEntryText(path, QStringLiteral("n"), QStringLiteral("c"))), path);
    }
    EXPECT_EQ(ExecProgramOf("[X]\nExec=plain --arg\n"), QStringLiteral("plain"));
    EXPECT_EQ(ExecProgramOf("[X]\nName=none\n"), QString());
}

} // namespace

namespace {

// The module's own exports register the installation the module lies in.
TEST_F(ShellRegistrationTest, ModuleExportsRegisterItsOwnInstallation)
{
    const QString module = QStringLiteral(KESTREL_OUT_DIR "/libKestrelShell.so");
    if (!QFileInfo::exists(module))
        GTEST_SKIP() << "the module is not built: " << module.toStdString();
    ASSERT_TRUE(ShellModuleFits(module));
    const ShellModuleHandle handle(module);
    ASSERT_TRUE(handle) << handle.error().toStdString();
    const auto menu = handle.registerExport("DllRegisterMenuShExt");
    const auto icon = handle.registerExport("DllRegisterIconShExt");
    ASSERT_TRUE(menu && icon);
    EXPECT_EQ(menu(1), 0);
    EXPECT_EQ(icon(1), 0);
    const ShellInstall built{QFileInfo(module).absolutePath(), {}};
    EXPECT_EQ(ExecProgramOf(readAll(shellfiles::Thumbnailer())), built.host());
    EXPECT_EQ(ExecProgramOf(readAll(shellfiles::DolphinMenu())), built.host());
    EXPECT_TRUE(readAll(shellfiles::DolphinMenu()).contains(GetLanguageString(267).toUtf8()));
    EXPECT_TRUE(recordHas(module.toUtf8().constData()));
    EXPECT_EQ(menu(0), 0);
    EXPECT_EQ(icon(0), 0);
    EXPECT_FALSE(QFileInfo::exists(shellfiles::Record()));
}

} // namespace
