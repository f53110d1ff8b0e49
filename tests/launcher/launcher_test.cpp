// SPDX-License-Identifier: GPL-3.0-or-later
// The launcher: its rules as functions, and the real static i386 launcher
// started over folders laid out by the test, with a stand-in for Kestrel.
#include "launcher/launcher.h"
#include "support/testenv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// --- The rules ---------------------------------------------------------------

TEST(LauncherRules, PercentVariablesExpandLikeTheMainProgram)
{
    const std::map<std::string, std::string> env{{"A", "/data"}, {"EMPTY", ""}};
    const EnvironmentLookup lookup = [&](const std::string& name) -> std::optional<std::string> {
        const auto it = env.find(name);
        return it == env.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
    const std::pair<std::string, std::string> cases[] = {
        {"%A%/a.wim,1", "/data/a.wim,1"},
        {"%A%%A%", "/data/data"},
        {"x%EMPTY%y", "xy"},
        {"%UNDEFINED%/a", "%UNDEFINED%/a"},  // kept as written
        {"100%% sure", "100%% sure"},
        {"50% off", "50% off"},
        {"%A", "%A"},
        {"%a%", "%a%"},  // names are case-sensitive on Linux
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(ExpandPercentVariables(in, lookup), out) << in;
}

TEST(LauncherRules, BuildFolderAndElfCheckFollowTheSystemWidth)
{
    EXPECT_EQ(BuildFolderFor("x86_64"), "x64");
    EXPECT_EQ(BuildFolderFor("i686"), "x86");
    EXPECT_EQ(ExpectedMachineFor("x64"), kMachineX64);
    EXPECT_EQ(ExpectedMachineFor("x86"), kMachineX86);
    EXPECT_EQ(TargetPath("/opt/k", "x64"), "/opt/k/x64/Kestrel");
    EXPECT_EQ(TargetPath("/", "x86"), "/x86/Kestrel");
    EXPECT_EQ(FolderOf("/x64/Kestrel"), "/x64");
    EXPECT_EQ(FolderOf("/Kestrel"), "/");

    auto header = [](unsigned char elfClass, uint16_t machine) {
        std::string h(64, '\0');
        h.replace(0, 4, "\x7f" "ELF");
        h[4] = char(elfClass);
        h[5] = 1;
        h[18] = char(machine & 0xff);
        h[19] = char(machine >> 8);
        return h;
    };
    EXPECT_EQ(CheckElfHeader(header(2, 62), kMachineX64), TargetCheck::Passed);
    EXPECT_EQ(CheckElfHeader(header(1, 3), kMachineX86), TargetCheck::Passed);
    EXPECT_EQ(CheckElfHeader(header(1, 3), kMachineX64), TargetCheck::WrongMachine);
    // A 32-bit header claiming x86-64 (x32 and broken files) is not the x64 build.
    EXPECT_EQ(CheckElfHeader(header(1, 62), kMachineX64), TargetCheck::WrongMachine);
    EXPECT_EQ(CheckElfHeader(header(2, 62).substr(0, 19), kMachineX64), TargetCheck::NotElf);
    EXPECT_EQ(CheckElfHeader("MZ\x90", kMachineX64), TargetCheck::NotElf);
}

// --- The real launcher ---------------------------------------------------------

enum class Build { Probe, None, Script, I386 };

struct LaunchCase {
    const char* name;
    const char* folder;   // the launcher's folder, below the test's own
    Build x64;
    bool viaLink;         // started through a symbolic link in another folder
    bool linux32;         // under setarch i686: uname tells a 32-bit system
    std::vector<std::string> args;
    bool started;
    std::vector<std::string> expectedArgs;  // after the program, "@" stands for the test folder
};

void PrintTo(const LaunchCase& c, std::ostream* os)
{
    *os << c.name;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string replaceAt(std::string text, const std::string& folder)
{
    for (std::string::size_type at; (at = text.find('@')) != std::string::npos;)
        text.replace(at, 1, folder);
    return text;
}

struct LauncherRun {
    int exitCode = -1;
    std::string standardError;
};

// Runs `program` with `args` without a display, TESTVAR set, and waits for it.
// `caller` is the folder it is started in.
LauncherRun runLauncher(const std::string& program, const std::vector<std::string>& args, const fs::path& errFile,
                        const fs::path& caller, bool linux32)
{
    std::vector<std::string> argv{program};
    if (linux32)
        argv = {"/usr/bin/setarch", "i686", program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp;
    for (std::string& a : argv)
        argp.push_back(a.data());
    argp.push_back(nullptr);
    std::vector<std::string> env{"PATH=/usr/bin:/bin", "TESTVAR=/from env"};
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, caller.c_str());
    LauncherRun run;
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return run;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.standardError = readFile(errFile);
    return run;
}

// Waits for the stand-in's record; the stand-in gives up on its own after a
// minute, so this never waits for ever.
std::string waitForProbe(const fs::path& folder)
{
    for (int i = 0; i < 1400; ++i) {
        if (fs::exists(folder / "probe.out"))
            return readFile(folder / "probe.out");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
}

class LauncherRunTest : public testing::TestWithParam<LaunchCase> {};

TEST_P(LauncherRunTest, StartsTheMatchingBuildOrSaysWhatIsMissing)
{
    if (SystemMachine() != "x86_64")
        GTEST_SKIP() << "the table is written for an x86-64 system; this one is " << SystemMachine();
    const LaunchCase& c = GetParam();
    const fs::path base = fs::canonical(MakeTestDir(QString::fromUtf8(c.name)).toStdString());
    const fs::path root = base / c.folder;
    fs::create_directories(root / "x64");
    fs::create_directories(root / "x86");
    const auto copy = [](const fs::path& from, const fs::path& to) {
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    };
    copy(KESTREL_LAUNCHER_FILE, root / "Kestrel_Launcher");
    // The other width is always there: the launcher must never fall back to it.
    copy(KESTREL_PROBE_FILE, root / "x86" / "Kestrel");
    const fs::path target = root / "x64" / "Kestrel";
    switch (c.x64) {
    case Build::Probe: copy(KESTREL_PROBE_FILE, target); break;
    case Build::None: break;
    case Build::Script:
        std::ofstream(target) << "#!/bin/sh\nexit 0\n";
        fs::permissions(target, fs::perms::owner_all);
        break;
    case Build::I386: copy(KESTREL_LAUNCHER_FILE, target); break;
    }

    std::string program = (root / "Kestrel_Launcher").string();
    if (c.viaLink) {
        fs::create_directories(base / "bin");
        fs::create_symlink(program, base / "bin" / "kestrel");
        program = (base / "bin" / "kestrel").string();
    }
    std::vector<std::string> args;
    for (const std::string& a : c.args)
        args.push_back(replaceAt(a, base.string()));
    if (c.linux32 && !fs::exists("/usr/bin/setarch"))
        GTEST_SKIP() << "no setarch to show the launcher a 32-bit system";
    fs::create_directories(base / "caller");
    const LauncherRun run = runLauncher(program, args, base / "stderr.txt", base / "caller", c.linux32);

    if (!c.started) {
        EXPECT_NE(run.exitCode, 0);
        // It names the target of the system's width; the other build beside
        // it is not a fallback (starting it would have ended with 0).
        const fs::path named = c.linux32 ? root / "x86" / "Kestrel" : target;
        EXPECT_EQ(run.standardError, MissingTargetText(named.string()) + "\n");
        return;
    }
    ASSERT_EQ(run.exitCode, 0) << run.standardError;
    EXPECT_EQ(run.standardError, "");
    // The launcher has ended while the program it started still waits for
    // "go": it did not wait for it.
    EXPECT_FALSE(fs::exists(target.parent_path() / "probe.out"));
    fs::create_directory(target.parent_path() / "go");
    const std::string record = waitForProbe(target.parent_path());
    ASSERT_FALSE(record.empty()) << "the started program wrote nothing";

    // Relative paths on the command line keep meaning the caller's folder.
    std::string expected = "cwd=" + (base / "caller").string() + "\nCurrDir=" +
                           target.parent_path().string() + "\narg=" + target.string() + "\n";
    for (const std::string& a : c.expectedArgs)
        expected += "arg=" + replaceAt(a, base.string()) + "\n";
    EXPECT_EQ(record, expected);
}

const LaunchCase kLaunchCases[] = {
    {"present", "tool", Build::Probe, false, false, {"/Page", "@/a b.wim,1"}, true, {"/Page", "@/a b.wim,1"}},
    {"noParameters", "tool", Build::Probe, false, false, {}, true, {}},
    {"relativePaths", "tool", Build::Probe, false, false, {"/Apply", "backup.wim,1", "restored"}, true,
     {"/Apply", "backup.wim,1", "restored"}},
    {"blanksInFolder", "my tools", Build::Probe, false, false, {"/Apply", "@/x y.wim,1", "@/out dir"}, true,
     {"/Apply", "@/x y.wim,1", "@/out dir"}},
    {"throughLink", "lib/kestrel", Build::Probe, true, false, {"/Info", "a.wim"}, true, {"/Info", "a.wim"}},
    {"percentVariables", "tool", Build::Probe, false, false, {"%TESTVAR%/a.wim", "%NOTSET%"}, true,
     {"/from env/a.wim", "%NOTSET%"}},
    {"missing", "tool", Build::None, false, false, {"/Page"}, false, {}},
    {"notElf", "tool", Build::Script, false, false, {}, false, {}},
    {"wrongMachine", "tool", Build::I386, false, false, {}, false, {}},
    // On a 32-bit system the x86 build must be an i386 program; the x86-64
    // stand-in there is refused, and the x64 build is not taken instead.
    {"thirtyTwoBitSystem", "tool", Build::Probe, false, true, {"/Page"}, false, {}},
};

INSTANTIATE_TEST_SUITE_P(Table, LauncherRunTest, testing::ValuesIn(kLaunchCases),
                         [](const testing::TestParamInfo<LaunchCase>& info) { return std::string(info.param.name); });

} // namespace
