// SPDX-License-Identifier: GPL-3.0-or-later
// Every change of an image file, killed before each of its writes in turn:
// afterwards wimlib-imagex reads the file, every image that was there
// verifies and applies as before, and the change is either absent or
// complete (a new image with its name and boot mark, never half of it).
// strace's fault injection kills the writer process at the Nth write.
#include "wimtestsupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>
#include <cstdlib>

#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

using namespace wimtest;
namespace fs = std::filesystem;

namespace {

const std::string kWriter = KESTREL_BUILD_DIR "/tests/bin/wimgapi_writer";

struct WimState {
    bool readable = false;
    int images = 0;
    int boot = 0;
    std::map<int, std::string> names;
    std::map<int, std::string> descriptions;
};

WimState readState(const std::string& wim)
{
    WimState s;
    std::istringstream in(RunOutput("(wimlib-imagex info " + Quote(wim) + " && echo READABLE) 2>/dev/null"));
    std::string line;
    int index = 0;
    auto value = [&](const std::string& l) {
        const size_t colon = l.find(':');
        const size_t start = l.find_first_not_of(' ', colon + 1);
        return start == std::string::npos ? std::string() : l.substr(start);
    };
    while (std::getline(in, line)) {
        if (line == "READABLE")
            s.readable = true;
        else if (line.rfind("Image Count:", 0) == 0)
            s.images = std::stoi(value(line));
        else if (line.rfind("Boot Index:", 0) == 0)
            s.boot = std::stoi(value(line));
        else if (line.rfind("Index:", 0) == 0)
            index = std::stoi(value(line));
        else if (line.rfind("Name:", 0) == 0)
            s.names[index] = value(line);
        else if (line.rfind("Description:", 0) == 0)
            s.descriptions[index] = value(line);
    }
    return s;
}

// wimlib-imagex applies image `index` as the tree `expected`.
std::string appliesAs(const std::string& wim, int index, const std::string& expected)
{
    const std::string out = fs::path(wim).parent_path() / ("applied" + std::to_string(index));
    fs::remove_all(out);
    if (RunCommand("wimlib-imagex apply " + Quote(wim) + " " + std::to_string(index) + " " + Quote(out)) != 0)
        return "image " + std::to_string(index) + " does not apply";
    const std::string diff = CompareTrees(expected, out);
    fs::remove_all(out);
    return diff;
}

class KillSafetyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (RunCommand("strace -f -o /dev/null -e trace=none true") != 0)
            GTEST_SKIP() << "strace cannot trace here (not installed or ptrace not permitted)";
        dir = ScratchDir("kill");
        for (const char* name : {"one", "two", "three"}) {
            const std::string t = dir + "/" + name;
            fs::create_directories(t + "/d");
            WriteFile(t + "/" + name + ".txt", std::string(name) + "\n");
            WriteFile(t + "/d/data", std::string(3000, name[0]));
        }
    }

    // A file made by wimlib-imagex with the named images of the given trees.
    std::string makeWim(const std::string& name, const std::vector<std::string>& trees)
    {
        const std::string wim = dir + "/" + name;
        fs::remove(wim);
        for (const std::string& t : trees) {
            const std::string verb = fs::exists(wim) ? "append" : "capture";
            EXPECT_EQ(RunCommand("wimlib-imagex " + verb + " " + Quote(dir + "/" + t) + " " + Quote(wim) + " " + t +
                                 " --compress=fast"),
                      0);
        }
        return wim;
    }

    // Runs `command` killed before its 1st, 2nd, ... call of each writing
    // system call, from a fresh copy of `wim` each time, until it runs
    // through; `check` judges the file after each kill and after the
    // complete run (`finished`). Returns the number of kills.
    int killAtEveryWrite(const std::string& wim, const std::string& command,
                         const std::function<void(const WimState&, bool finished)>& check)
    {
        const std::string pristine = wim + ".pristine";
        fs::copy_file(wim, pristine, fs::copy_options::overwrite_existing);
        int kills = 0;
        for (const char* call : {"write", "pwrite64", "rename"}) {
            for (int n = 1; n < 200; ++n) {
                fs::copy_file(pristine, wim, fs::copy_options::overwrite_existing);
                const int status = std::system(("strace -f -o /dev/null -e trace=" + std::string(call) + " -e inject=" + std::string(call) +
                                                ":signal=KILL:when=" + std::to_string(n) + " " + command +
                                                " >/dev/null 2>&1")
                                                   .c_str());
                const bool finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
                SCOPED_TRACE(std::string(call) + " #" + std::to_string(n) + (finished ? " (not killed)" : ""));
                if (!finished && !(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGKILL) &&
                    !WIFSIGNALED(status)) {
                    ADD_FAILURE() << "the writer failed without being killed, status " << status;
                    return kills;
                }
                check(readState(wim), finished);
                if (::testing::Test::HasFailure())
                    return kills;
                if (finished)
                    break;
                ++kills;
            }
        }
        return kills;
    }

    std::string dir;
};

TEST_F(KillSafetyTest, AppendWithNameAndBootMarkIsAllOrNothing)
{
    const std::string wim = makeWim("append.wim", {"one", "two"});
    const int kills = killAtEveryWrite(
        wim, Quote(kWriter) + " append " + Quote(wim) + " " + Quote(dir + "/three") + " Third 1",
        [&](const WimState& s, bool finished) {
            ASSERT_TRUE(s.readable);
            EXPECT_TRUE(WimVerify(wim));
            EXPECT_EQ(appliesAs(wim, 1, dir + "/one"), "");
            EXPECT_EQ(appliesAs(wim, 2, dir + "/two"), "");
            EXPECT_EQ(s.names.at(1), "one");
            EXPECT_EQ(s.names.at(2), "two");
            if (s.images == 3 || finished) {
                EXPECT_EQ(s.images, 3);
                EXPECT_EQ(s.names.at(3), "Third");
                EXPECT_EQ(s.boot, 3);
                EXPECT_EQ(appliesAs(wim, 3, dir + "/three"), "");
            } else {
                EXPECT_EQ(s.images, 2);
                EXPECT_EQ(s.boot, 0);
            }
        });
    EXPECT_GE(kills, 3);
}

TEST_F(KillSafetyTest, ProgramAppendNeverCostsAnEarlierImage)
{
    const std::string program = KESTREL_OUT_DIR "/Kestrel";
    if (!fs::exists(program))
        GTEST_SKIP() << "the program is not built: " << program;
    const std::string wim = makeWim("program.wim", {"one", "two"});
    // The program sets the boot mark after closing the captured image, as a
    // change of its own; the image and its name are one change.
    killAtEveryWrite(wim,
                     "env -u DISPLAY -u WAYLAND_DISPLAY " + Quote(program) + " /Append " + Quote(dir + "/three") + " " +
                         Quote(wim + ",Third") + " /Boot",
                     [&](const WimState& s, bool finished) {
                         ASSERT_TRUE(s.readable);
                         EXPECT_TRUE(WimVerify(wim));
                         EXPECT_EQ(appliesAs(wim, 1, dir + "/one"), "");
                         EXPECT_EQ(appliesAs(wim, 2, dir + "/two"), "");
                         if (s.images == 3 || finished) {
                             EXPECT_EQ(s.images, 3);
                             EXPECT_EQ(s.names.at(3), "Third");
                             EXPECT_EQ(appliesAs(wim, 3, dir + "/three"), "");
                         }
                         if (finished) {
                             EXPECT_EQ(s.boot, 3);
                         }
                     });
}

TEST_F(KillSafetyTest, ExportWithNameBootMarkAndStrippedElementIsAllOrNothing)
{
    const std::string source = makeWim("source.wim", {"one", "two"});
    ASSERT_EQ(RunCommand("wimlib-imagex info " + Quote(source) + " 2 --image-property KESTREL=private"), 0);
    const std::string wim = makeWim("target.wim", {"three"});
    killAtEveryWrite(wim, Quote(kWriter) + " export " + Quote(source) + " 2 " + Quote(wim) + " Exported",
                     [&](const WimState& s, bool finished) {
                         ASSERT_TRUE(s.readable);
                         EXPECT_TRUE(WimVerify(wim));
                         EXPECT_EQ(appliesAs(wim, 1, dir + "/three"), "");
                         if (s.images == 2 || finished) {
                             EXPECT_EQ(s.images, 2);
                             EXPECT_EQ(s.names.at(2), "Exported");
                             EXPECT_EQ(s.boot, 2);
                             const std::string xml = RunOutput("wimlib-imagex info --xml " + Quote(wim) +
                                                               " | iconv -f UTF-16LE -t UTF-8");
                             EXPECT_EQ(xml.find("KESTREL"), std::string::npos) << xml;
                             EXPECT_EQ(appliesAs(wim, 2, dir + "/two"), "");
                         } else {
                             EXPECT_EQ(s.images, 1);
                             EXPECT_EQ(s.boot, 0);
                         }
                     });
}

TEST_F(KillSafetyTest, InformationEditKeepsOneWholeVersion)
{
    const std::string wim = makeWim("edit.wim", {"one", "two"});
    killAtEveryWrite(wim, Quote(kWriter) + " setinfo " + Quote(wim) + " 1 Renamed",
                     [&](const WimState& s, bool finished) {
                         ASSERT_TRUE(s.readable);
                         EXPECT_EQ(s.images, 2);
                         EXPECT_EQ(appliesAs(wim, 1, dir + "/one"), "");
                         EXPECT_EQ(appliesAs(wim, 2, dir + "/two"), "");
                         const std::string name = s.names.count(1) ? s.names.at(1) : "";
                         if (finished) {
                             EXPECT_EQ(name, "Renamed");
                         }
                         if (name == "Renamed") {
                             EXPECT_EQ(s.descriptions.count(1) ? s.descriptions.at(1) : "", "Renamed described");
                         } else {
                             EXPECT_EQ(name, "one");
                         }
                     });
}

TEST_F(KillSafetyTest, WimlibChangesOfAFileTheLayerNamedStaySafe)
{
    // wimlib's in-place changes that add no data (a boot mark, a name) write
    // their XML straight after the blob table, over what is there; on a file
    // whose XML the layer wrote, a kill in between must not cost the file.
    for (const char* change : {"2 --boot", "1 Another-much-longer-name-from-wimlib"}) {
        SCOPED_TRACE(change);
        const std::string wim = makeWim("named.wim", {"one", "two"});
        ASSERT_EQ(RunCommand(Quote(kWriter) + " setinfo " + Quote(wim) + " 2 Longer-name-than-before"), 0);
        killAtEveryWrite(wim, "wimlib-imagex info " + Quote(wim) + " " + std::string(change),
                         [&](const WimState& s, bool) {
                             ASSERT_TRUE(s.readable);
                             EXPECT_EQ(s.images, 2);
                             EXPECT_EQ(s.names.at(2), "Longer-name-than-before");
                             EXPECT_EQ(appliesAs(wim, 1, dir + "/one"), "");
                             EXPECT_EQ(appliesAs(wim, 2, dir + "/two"), "");
                             Handle file = OpenRead(wim);
                             EXPECT_TRUE(file) << "the layer cannot read the file";
                         });
    }
}

TEST_F(KillSafetyTest, DeleteAndBootMarkLeaveTheFileReadable)
{
    const std::string wim = makeWim("delete.wim", {"one", "two", "three"});
    killAtEveryWrite(wim, Quote(kWriter) + " delete " + Quote(wim) + " 2", [&](const WimState& s, bool finished) {
        ASSERT_TRUE(s.readable);
        EXPECT_TRUE(WimVerify(wim));
        EXPECT_EQ(appliesAs(wim, 1, dir + "/one"), "");
        EXPECT_EQ(s.images, finished ? 2 : s.images);
        EXPECT_EQ(appliesAs(wim, s.images, dir + "/three"), "");
        if (s.images == 3) {
            EXPECT_EQ(appliesAs(wim, 2, dir + "/two"), "");
        }
    });
    killAtEveryWrite(wim, Quote(kWriter) + " boot " + Quote(wim) + " 2", [&](const WimState& s, bool finished) {
        ASSERT_TRUE(s.readable);
        EXPECT_TRUE(WimVerify(wim));
        EXPECT_EQ(s.boot, finished ? 2 : s.boot);
        EXPECT_TRUE(s.boot == 0 || s.boot == 2);
    });
}

} // namespace
