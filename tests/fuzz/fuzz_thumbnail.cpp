// SPDX-License-Identifier: GPL-3.0-or-later
// The thumbnailer reads every image file a user merely looks at: the path
// from a file's bytes to the icon's PNG must refuse what it cannot read,
// never crash, and stay within its caps.
#include "imaging/imagingapi.h"
#include "shell/module/shellicon.h"
#include "shell/module/shellmodule.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The input file, rewritten for every run: the imaging layer opens image
// files by name, as the thumbnailer does.
QString g_input;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // No settings file of the user's: the module runs on its defaults, as
    // in the desktop's sandbox.
    char dir[] = "/tmp/kestrel-fuzz-thumbnail-XXXXXX";
    if (!::mkdtemp(dir))
        std::abort();
    ::setenv("XDG_CONFIG_HOME", dir, 1);
    g_input = QString::fromLocal8Bit(dir) + QStringLiteral("/input.wim");
    ShellModule();
    // Without an imaging layer every input would end at the first step.
    if (!ImagingApi.WIMCreateFile || !ImagingApi.WIMGetImageInformation) {
        std::fprintf(stderr, "fuzz_thumbnail: no imaging layer could be bound\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QFile file(g_input);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        std::abort();
    file.close();
    const ShellIconPair icon = ReadIconForShell(g_input, 64, 16);
    if (icon.source == ShellIconSource::Image) {
        if (icon.large.size() != QSize(64, 64) || icon.small.size() != QSize(16, 16))
            std::abort();
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!icon.large.save(&buffer, "PNG"))
            std::abort();
    } else if (!icon.large.isNull() || !icon.small.isNull()) {
        std::abort();
    }
    return 0;
}
