// SPDX-License-Identifier: GPL-3.0-or-later
// kestrel-wimserv: the imaging layer's mount service.
//
//   kestrel-wimserv mount WIMFILE INDEX MOUNTDIR STAGINGPARENT TOKEN
//
// Mounts one image through wimlib's FUSE file system. wimlib daemonises once
// the mount is up, so this process exits with 0 exactly when the mount is
// ready; before that it exits with the errno value of the failure. The daemon
// stays behind to serve the mount and, when the image is unmounted, removes
// the layer's record of it. An empty STAGINGPARENT means read-only. WIMFILE
// may be the first part of a split set; its other parts are attached.
#include "errors.h"
#include "mounttable.h"
#include "splitnames.h"

#include <wimlib.h>

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 7 || std::strcmp(argv[1], "mount") != 0)
        return EINVAL;
    const std::string wimPath = argv[2];
    const int index = std::atoi(argv[3]);
    const std::string mountDir = argv[4];
    const std::string staging = argv[5];
    const std::string token = argv[6];
    const bool readWrite = !staging.empty();

    wimlib_global_init(WIMLIB_INIT_FLAG_ASSUME_UTF8);
    wimlib_set_print_errors(false);

    WIMStruct* wim = nullptr;
    errno = 0;
    int ret = wimlib_open_wim(wimPath.c_str(), readWrite ? WIMLIB_OPEN_FLAG_WRITE_ACCESS : 0, &wim);
    if (ret != 0)
        return wimgapi::ErrnoFromWimlib(ret);
    // The first part of a split set reads its files from the other parts.
    wimlib_wim_info info{};
    wimlib_get_wim_info(wim, &info);
    if (info.total_parts > 1) {
        std::vector<std::string> names;
        for (unsigned part = 2; part <= info.total_parts; ++part)
            names.push_back(wimgapi::SplitPartPath(wimPath, part));
        std::vector<const char*> list;
        for (const std::string& n : names)
            list.push_back(n.c_str());
        errno = 0;
        ret = readWrite ? WIMLIB_ERR_IS_SPLIT_WIM
                        : wimlib_reference_resource_files(wim, list.data(), static_cast<unsigned>(list.size()), 0, 0);
        if (ret != 0) {
            const int cause = wimgapi::ErrnoFromWimlib(ret);
            wimlib_free(wim);
            return cause;
        }
    }
    const pid_t before = ::getpid();
    int flags = WIMLIB_MOUNT_FLAG_STREAM_INTERFACE_XATTR;
    if (readWrite)
        flags |= WIMLIB_MOUNT_FLAG_READWRITE;
    ret = wimlib_mount_image(wim, index, mountDir.c_str(), flags, readWrite ? staging.c_str() : nullptr);
    if (::getpid() == before) {
        // Still the starting process: the mount never came up.
        wimlib_free(wim);
        return ret == 0 ? 0 : wimgapi::ErrnoFromWimlib(ret);
    }
    // The daemon, after the image was unmounted (by anyone).
    wimgapi::RemoveMountRecord(mountDir, token);
    wimlib_free(wim);
    wimlib_global_cleanup();
    return ret == 0 ? 0 : 1;
}
