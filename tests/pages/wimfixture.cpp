// SPDX-License-Identifier: GPL-3.0-or-later
#include "wimfixture.h"

#include "imaging/imagingapi.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <dlfcn.h>
#include <wimlib.h>

namespace {

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

struct WimGuard {
    WIMStruct* wim = nullptr;
    ~WimGuard()
    {
        if (wim)
            wimlib_free(wim);
    }
};

} // namespace

bool BindTestImagingLayer(QString* why)
{
    if (ImagingApi.WIMCreateFile)
        return true;
    void* lib = dlopen(KESTREL_OUT_DIR "/libwimgapi.so", RTLD_NOW | RTLD_GLOBAL);
    if (!lib) {
        if (why)
            *why = QString::fromLocal8Bit(dlerror());
        return false;
    }
#define KESTREL_BIND(name) ImagingApi.name = reinterpret_cast<decltype(ImagingApi.name)>(dlsym(lib, #name))
    KESTREL_BIND(WIMMountImage);
    KESTREL_BIND(WIMUnmountImage);
    KESTREL_BIND(WIMRemountImage);
    KESTREL_BIND(WIMGetMountedImages);
    KESTREL_BIND(WIMDeleteImageMounts);
    KESTREL_BIND(WIMGetMountedImageInfo);
    KESTREL_BIND(WIMLoadImage);
    KESTREL_BIND(WIMSplitFile);
    KESTREL_BIND(WIMCreateFile);
    KESTREL_BIND(WIMApplyImage);
    KESTREL_BIND(WIMCloseHandle);
    KESTREL_BIND(WIMExportImage);
    KESTREL_BIND(WIMDeleteImage);
    KESTREL_BIND(WIMSetBootImage);
    KESTREL_BIND(WIMCaptureImage);
    KESTREL_BIND(WIMGetImageCount);
    KESTREL_BIND(WIMGetAttributes);
    KESTREL_BIND(WIMSetTemporaryPath);
    KESTREL_BIND(WIMSetReferenceFile);
    KESTREL_BIND(WIMSetImageInformation);
    KESTREL_BIND(WIMGetImageInformation);
    KESTREL_BIND(WIMRegisterMessageCallback);
    KESTREL_BIND(WIMUnregisterMessageCallback);
    KESTREL_BIND(WIMFindFirstImageFile);
    KESTREL_BIND(WIMFindNextImageFile);
#undef KESTREL_BIND
    if (!ImagingApi.WIMCreateFile && why)
        *why = QStringLiteral("libwimgapi.so exports no WIMCreateFile");
    return ImagingApi.WIMCreateFile != nullptr;
}

void MakeSourceTree(const QString& folder, int randomFiles, int randomBytes)
{
    QDir().mkpath(folder + QStringLiteral("/sub"));
    QDir().mkpath(folder + QStringLiteral("/empty"));
    WriteFile(folder + QStringLiteral("/a.txt"), "alpha\n");
    WriteFile(folder + QStringLiteral("/sub/b.txt"), "bravo bravo\n");
    for (int i = 0; i < randomFiles; ++i) {
        QByteArray bytes(randomBytes, Qt::Uninitialized);
        QRandomGenerator gen(static_cast<quint32>(i + 1));
        for (char& c : bytes)
            c = static_cast<char>(gen.bounded(256));
        WriteFile(folder + QStringLiteral("/r%1.bin").arg(i), bytes);
    }
}

bool WriteImageFile(const QString& source, const QString& path, int compression, int images)
{
    WimGuard g;
    if (wimlib_create_new_wim(static_cast<wimlib_compression_type>(compression), &g.wim) != 0)
        return false;
    const QByteArray src = QFile::encodeName(source);
    for (int i = 1; i <= images; ++i) {
        const QByteArray name = "Image " + QByteArray::number(i);
        if (wimlib_add_image(g.wim, src.constData(), name.constData(), nullptr, 0) != 0)
            return false;
    }
    const int flags = compression == WIMLIB_COMPRESSION_TYPE_LZMS ? WIMLIB_WRITE_FLAG_SOLID : 0;
    return wimlib_write(g.wim, QFile::encodeName(path).constData(), WIMLIB_ALL_IMAGES, flags, 1) == 0;
}

QStringList SplitImageFile(const QString& wim, const QString& firstPart, quint64 partBytes)
{
    WimGuard g;
    if (wimlib_open_wim(QFile::encodeName(wim).constData(), 0, &g.wim) != 0)
        return {};
    if (wimlib_split(g.wim, QFile::encodeName(firstPart).constData(), partBytes, 0) != 0)
        return {};
    QStringList parts{firstPart};
    const qsizetype dot = firstPart.lastIndexOf(u'.');
    for (int n = 2;; ++n) {
        const QString name = firstPart.left(dot) + QString::number(n) + firstPart.mid(dot);
        if (!QFile::exists(name))
            break;
        parts << name;
    }
    return parts;
}

QStringList ListTree(const QString& folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir root(folder);
    while (it.hasNext())
        out << root.relativeFilePath(it.next());
    out.sort();
    return out;
}

int RunTool(const QString& program, const QStringList& args, int timeoutMs, QString* output)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        return -1;
    }
    if (output)
        *output = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}
