// SPDX-License-Identifier: GPL-3.0-or-later
// Whole image files through the imaging layer's read path, the way the
// program and the file-manager module read a file nobody vouched for: open,
// attributes, the image XML and its reader, then a listing of image 1.
// The layer is bound as the program binds it, from the build folder.
#include "common/textutil.h"
#include "imaging/binding.h"
#include "imaging/wimhandle.h"
#include "metadata/imagefileinfo.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

// A broken promise of the reader under test is a finding like a crash.
#define check(ok) \
    ((ok) ? void() : (std::fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #ok), std::abort()))

namespace {

// Larger inputs only slow the fuzzer down; fuzz.sh caps -max_len the same.
constexpr size_t kMaxInput = 256 * 1024;
constexpr int kMaxEntries = 512;

QString g_path;


void listFolder(HANDLE image, const QString& folder, int depth, int& entries)
{
    WIM_FIND_DATA data{};
    const QString pattern = folder + QStringLiteral("\\*");
    WimHandle find(ImagingApi.WIMFindFirstImageFile(image, Utf16(pattern), &data));
    if (!find)
        return;
    std::vector<QString> folders;
    do {
        // The name is always terminated inside its field.
        check(std::find(std::begin(data.cFileName), std::end(data.cFileName), u'\0') != std::end(data.cFileName));
        const QString name = FromUnits(data.cFileName, WIM_MAX_PATH);
        if ((data.dwFileAttributes & WIM_FILE_ATTRIBUTE_DIRECTORY) && name != u"." && name != u"..")
            folders.push_back(folder + u'\\' + name);
    } while (++entries < kMaxEntries && ImagingApi.WIMFindNextImageFile(find.get(), &data));
    find.close();
    if (depth < 3) {
        for (const QString& sub : folders)
            listFolder(image, sub, depth + 1, entries);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    BindingSources sources;
    sources.programCandidate = QStringLiteral(KESTREL_OUT_DIR "/libwimgapi.so");
    sources.carried = [](CarriedResource which) {
        return which == CarriedResource::WimlibNames ? UnpackCarriedResource(which) : QByteArray();
    };
    static std::unique_ptr<ImagingBinding> binding = BindImagingFrom(sources);
    if (!binding || !binding->imaging.WIMCreateFile)
        std::abort();
    ImagingApi = binding->imaging;
    WimlibApi = binding->wimlib;
    char pattern[] = "/tmp/kestrel-fuzz-image-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    if (!dir)
        std::abort();
    g_path = QString::fromLocal8Bit(dir) + QStringLiteral("/input.wim");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxInput)
        return 0;
    {
        const int fd = ::open(g_path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0 || ::write(fd, data, size) != ssize_t(size))
            std::abort();
        ::close(fd);
    }
    WIMFILEINFO info;
    const uint32_t count = GetImageFileInfo(g_path, info);
    if (count == 0)
        return 0;
    std::vector<WIMIMAGEINFO> images(std::min<uint32_t>(count, 64));
    (void)ReadImageInfo(g_path, info, images);
    (void)GetImageFileCompression(g_path);

    WimHandle wim(OpenImageFileRead(g_path));
    if (!wim)
        return 0;
    WimHandle image(ImagingApi.WIMLoadImage(wim.get(), 1));
    if (!image)
        return 0;
    void* text = nullptr;
    DWORD bytes = 0;
    if (ImagingApi.WIMGetImageInformation(image.get(), &text, &bytes)) {
        const LayerText owned(text);
        WIMFILEINFO unused;
        std::vector<WIMIMAGEINFO> one(1);
        (void)ParseImageInfoXml(owned.get(), bytes, unused, one);
    }
    int entries = 0;
    listFolder(image.get(), QString(), 0, entries);
    return 0;
}
