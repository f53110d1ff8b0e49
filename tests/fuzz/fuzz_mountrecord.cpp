// SPDX-License-Identifier: GPL-3.0-or-later
// The mount records under the state folder: any file with a record's name
// there is read when mounts are listed or removed. A record that reads holds
// paths (no zero bytes) and writes back to a record that reads the same.
#include "mounttable.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <stdlib.h>
#include <unistd.h>

// A broken promise of the reader under test is a finding like a crash.
#define check(ok) \
    ((ok) ? void() : (std::fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #ok), std::abort()))

using namespace wimgapi;

namespace {

std::string g_dir;


bool same(const MountRecord& a, const MountRecord& b)
{
    return a.mountPath == b.mountPath && a.wimPath == b.wimPath && a.index == b.index && a.readWrite == b.readWrite &&
           a.tempPath == b.tempPath && a.staging == b.staging && a.token == b.token;
}

bool pathText(const std::string& s)
{
    return s.find('\0') == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char pattern[] = "/tmp/kestrel-fuzz-mounts-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    if (!dir)
        std::abort();
    g_dir = dir;
    ::setenv("XDG_STATE_HOME", dir, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A record file as the listing finds it: 16 hexadecimal digits.
    const std::string file = MountRecordDir() + "/0123456789abcdef";
    {
        MountRecord seed;
        seed.mountPath = "/m";
        seed.wimPath = "/w";
        seed.index = 1;
        check(WriteMountRecord(seed)); // makes the folder
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    MountRecord record;
    if (ReadMountRecord(file, record)) {
        check(pathText(record.mountPath) && pathText(record.wimPath) && pathText(record.tempPath) &&
              pathText(record.staging) && pathText(record.token));
        check(WriteMountRecord(record));
        MountRecord again;
        check(ReadMountRecord(MountRecordPath(record.mountPath), again) && same(record, again));
        RemoveMountRecord(record.mountPath, record.token + "x");
        RemoveMountRecord(record.mountPath, record.token);
    }
    // The listing reads every record of the folder; the mount table itself
    // (the kernel's) is left out, so that no live mount is asked.
    for (const MountRecord& r : ReadMountRecords())
        check(r.index > 0 && !r.mountPath.empty() && !r.wimPath.empty());
    ::unlink(file.c_str());
    ::unlink(MountRecordPath("/m").c_str());
    return 0;
}
