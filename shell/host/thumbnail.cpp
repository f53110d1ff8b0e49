// SPDX-License-Identifier: GPL-3.0-or-later
// The freedesktop thumbnailer. It runs by itself on every image file a user
// looks at, often inside the desktop's sandbox: it needs no settings file and
// no home folder, writes nothing but the output file, and a watchdog ends it
// should a file ever hold it up.
#include "shell/host/shellhost.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QString>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Far more than a real file needs; past it the thumbnailer is ended (by
// SIGALRM, which gives a failing exit).
constexpr unsigned kWatchdogSeconds = 2;
constexpr int kMaxThumbnailEdge = 1024;

} // namespace

int RunThumbnailer(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: KestrelShell --thumbnail SIZE INPUT OUTPUT\n");
        return 2;
    }
    char* end = nullptr;
    const long size = std::strtol(argv[2], &end, 10);
    if (!end || *end || size <= 0 || size > kMaxThumbnailEdge) {
        std::fprintf(stderr, "KestrelShell: the size must be 1 to %d\n", kMaxThumbnailEdge);
        return 2;
    }
    ::alarm(kWatchdogSeconds);

    const IID persistIid = IID_IPERSISTFILE_INIT;
    const IID extractIid = IID_IEXTRACTICONW_INIT;
    auto* persist = static_cast<IPersistFile*>(CreateShellObject(persistIid));
    if (!persist)
        return 1;
    IExtractIconW* extract = nullptr;
    KestrelIcon* icon = nullptr;
    if (persist->lpVtbl->Load(persist, argv[3], 0) == S_OK &&
        persist->lpVtbl->QueryInterface(persist, &extractIid, reinterpret_cast<void**>(&extract)) == S_OK) {
        uint32_t flags = 0;
        int32_t index = 0;
        // As a file manager does: the first call asks whether it may wait.
        if (extract->lpVtbl->GetIconLocation(extract, KESTREL_GIL_ASYNC, nullptr, 0, &index, &flags) == E_PENDING &&
            extract->lpVtbl->GetIconLocation(extract, 0, nullptr, 0, &index, &flags) == S_OK)
            extract->lpVtbl->Extract(extract, argv[3], 0, &icon, nullptr, uint32_t(size));
        extract->lpVtbl->Release(extract);
    }
    persist->lpVtbl->Release(persist);

    int result = 1;
    if (icon && KestrelIconSource(icon) >= 0) {
        const int edge = KestrelIconSize(icon);
        const QImage picture(reinterpret_cast<const uchar*>(KestrelIconPixels(icon)), edge, edge, edge * 4,
                             QImage::Format_ARGB32);
        // Encoded first, then written in one go: the output is the only file
        // touched.
        QByteArray png;
        QBuffer buffer(&png);
        QFile out(QFile::decodeName(argv[4]));
        if (buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "PNG") && out.open(QIODevice::WriteOnly) &&
            out.write(png) == png.size() && out.flush())
            result = 0;
    } else {
        std::fprintf(stderr, "KestrelShell: %s is not a readable image file\n", argv[3]);
    }
    KestrelIconDestroy(icon);
    return result;
}
