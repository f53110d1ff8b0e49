// SPDX-License-Identifier: GPL-3.0-or-later
// Mount records under the state folder as the mount listing reads them. Any
// file there with a record's name is read, so a record the service did not
// write must not turn into paths it never named.
#include "wimtestsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace wimtest;
namespace fs = std::filesystem;

namespace {

TEST(MountRecordTest, OnlyPercentAndTwoHexDigitsEscapeAndZeroBytesAreRefused)
{
    const char* state = std::getenv("XDG_STATE_HOME");
    ASSERT_TRUE(state && *state == '/');
    const fs::path records = fs::path(state) / "kestrel" / "mounts";
    const std::string tail = "\nwim=/k/w.wim\nindex=1\n";
    const struct {
        std::string record;
        const char* listedAs; // nullptr: the record is refused
    } cases[] = {
        {"mount=/k/a%41b" + tail, "/k/aAb"},
        {"mount=/k/p%zz" + tail, "/k/p%zz"},
        {"mount=/k/s%+1x" + tail, "/k/s%+1x"},
        {"mount=/k/q%2" + tail, "/k/q%2"},
        {"mount=/k/n%00x" + tail, nullptr},
        {std::string("mount=/k/r\0x", 12) + tail, nullptr},
        {"mount=/k/t" + tail + "temp=/k%00/x\nstaging=/k%00/x/w.wim.staging1\n", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.record);
        fs::remove_all(records);
        fs::create_directories(records);
        WriteFile((records / "00000000000000aa").string(), c.record);
        const std::vector<WIM_MOUNT_INFO_LEVEL1> list = MountInfo();
        std::vector<std::string> paths;
        for (const WIM_MOUNT_INFO_LEVEL1& m : list) {
            if (S(m.WimPath) == "/k/w.wim")
                paths.push_back(S(m.MountPath));
        }
        if (c.listedAs)
            EXPECT_EQ(paths, std::vector<std::string>{c.listedAs});
        else
            EXPECT_TRUE(paths.empty()) << paths.front();
    }
    fs::remove_all(records);
}

} // namespace
