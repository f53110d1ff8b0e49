// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaginglayer.h"

#include "imaging/imagingapi.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <dlfcn.h>

ImagingLayer::ImagingLayer()
{
    const char* path = KESTREL_OUT_DIR "/libwimgapi.so";
    if (!QFileInfo::exists(QString::fromLocal8Bit(path))) {
        m_error = QStringLiteral("%1 is not built").arg(QString::fromLocal8Bit(path));
        return;
    }
    m_library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!m_library) {
        m_error = QString::fromLocal8Bit(dlerror());
        return;
    }
    QStringList missing;
    const auto bind = [&](auto& entry, const char* name) {
        entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(dlsym(m_library, name));
        if (!entry)
            missing << QString::fromLatin1(name);
    };
#define KESTREL_BIND(name) bind(ImagingApi.name, #name)
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
    if (!missing.isEmpty())
        m_error = QStringLiteral("libwimgapi.so lacks ") + missing.join(QStringLiteral(", "));
}

ImagingLayer::~ImagingLayer()
{
    ImagingApi = ImagingApiTable{};
    if (m_library)
        dlclose(m_library);
}

int RunImagex(const QStringList& args, QByteArray* output)
{
    return RunProgram(QStringLiteral("wimlib-imagex"), args, output);
}

int RunProgram(const QString& program, const QStringList& args, QByteArray* output)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished(5000);
        return -1;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool MakeImageFile(const QString& path, int images, const QStringList& extra)
{
    const QString source = QFileInfo(path).absolutePath() + QStringLiteral("/tree-") + QFileInfo(path).baseName();
    QDir().mkpath(source + QStringLiteral("/sub"));
    QFile a(source + QStringLiteral("/a.txt"));
    if (!a.open(QIODevice::WriteOnly) || a.write("alpha\n") != 6)
        return false;
    a.close();
    for (int i = 1; i <= images; ++i) {
        QStringList args{i == 1 ? QStringLiteral("capture") : QStringLiteral("append"), source, path,
                         QStringLiteral("Image %1").arg(i), QStringLiteral("Description %1").arg(i)};
        if (RunImagex(args + extra) != 0)
            return false;
    }
    return true;
}

QString ImagexXml(const QString& path)
{
    QByteArray bytes;
    if (RunImagex({QStringLiteral("info"), path, QStringLiteral("--xml")}, &bytes) != 0)
        return QString();
    QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

bool ImagexVerifies(const QString& path)
{
    return RunImagex({QStringLiteral("verify"), path}) == 0;
}

bool ImagexDocument(const QString& path, pugi::xml_document& document)
{
    const QByteArray xml = ImagexXml(path).toUtf8();
    return !xml.isEmpty() && document.load_buffer(xml.constData(), size_t(xml.size()));
}

pugi::xml_node ImagexImage(const pugi::xml_document& document, int index)
{
    for (pugi::xml_node image = document.child("WIM").child("IMAGE"); image; image = image.next_sibling("IMAGE")) {
        if (image.attribute("INDEX").as_int() == index)
            return image;
    }
    return {};
}

QStringList AttributeNames(pugi::xml_node node)
{
    QStringList names;
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
        names << QString::fromUtf8(a.name());
    return names;
}

QStringList ChildNames(pugi::xml_node node)
{
    QStringList names;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element)
            names << QString::fromUtf8(c.name());
    }
    return names;
}
