// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/association.h"

#include "common/appdirectory.h"
#include "common/language.h"
#include "common/settings.h"
#include "metadata/programicons.h"
#include "shell/desktopfiles.h"
#include "shell/mimeapps.h"
#include "shell/xdgfiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

QString mimeIconPath(int size)
{
    return XdgDataHome() + QStringLiteral("/icons/hicolor/%1x%1/mimetypes/application-x-ms-wim.png").arg(size);
}

bool writeMimeIcons()
{
    bool ok = true;
    for (int size : kIconSizes) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        ok = DrawImageFileIcon(size).save(&buffer, "PNG") && WriteFileAtomically(mimeIconPath(size), png) && ok;
    }
    // Icon themes look at the folder's time to see that it changed.
    const QString theme = XdgDataHome() + QStringLiteral("/icons/hicolor");
    ::utimensat(AT_FDCWD, QFile::encodeName(theme).constData(), nullptr, 0);
    return ok;
}

bool removeMimeIcons()
{
    bool any = false;
    for (int size : kIconSizes)
        any = RemoveFileIfPresent(mimeIconPath(size)) || any;
    return any;
}

bool updateDesktopDatabase()
{
    return RunDesktopTool(QStringLiteral("update-desktop-database"), {XdgDataHome() + QStringLiteral("/applications")});
}

} // namespace

ShellInstall RunningInstall()
{
    return ShellInstall{QDir::cleanPath(ApplicationDirectory()), GetLanguageString(267)};
}

bool SetFileAssociation(const ShellInstall& install, bool set)
{
    bool ok = false;
    MimeAppsList list;
    const bool listRead = list.load(MimeAppsList::defaultPath());
    const QString type = QLatin1String(kImageMimeType);
    const QString id = QLatin1String(kOpenDesktopId);
    if (set) {
        AssociateExtensions();
        writeMimeIcons();
        const QByteArray entry =
            OpenDesktopEntryText(install.program(), QStringLiteral("Kestrel"), GetLanguageString(267));
        ok = WriteFileAtomically(shellfiles::OpenEntry(), entry) && listRead;
        if (ok) {
            list.putFirst(QLatin1String(kDefaultApplications), type, id);
            ok = list.save();
        }
        updateDesktopDatabase();
    } else {
        removeMimeIcons();
        // Another program's default for the type stays.
        const bool entryRemoved = RemoveFileIfPresent(shellfiles::OpenEntry());
        const bool defaultRemoved = listRead && list.remove(QLatin1String(kDefaultApplications), type, id);
        ok = (entryRemoved || defaultRemoved) && (!defaultRemoved || list.save());
        updateDesktopDatabase();
    }
    RefreshOpenWithProgids(set, IconHandlerIsOurs(install));
    return ok;
}

bool ShellModuleFits(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(sizeof(Elf64_Ehdr));
    if (header.size() < 20 || !header.startsWith(ELFMAG))
        return false;
    const auto u16 = [&](int at) { return uint16_t(uchar(header[at]) | (uchar(header[at + 1]) << 8)); };
    const bool wide = sizeof(void*) == 8;
    const int elfClass = uchar(header[EI_CLASS]);
    return elfClass == (wide ? ELFCLASS64 : ELFCLASS32) && uchar(header[EI_DATA]) == ELFDATA2LSB &&
           u16(16) == ET_DYN && u16(18) == (wide ? EM_X86_64 : EM_386);
}

ShellModuleHandle::ShellModuleHandle(const QString& path)
{
    m_handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* why = ::dlerror();
        m_error = QString::fromLocal8Bit(why ? why : "");
    }
}

ShellModuleHandle::~ShellModuleHandle()
{
    if (m_handle)
        ::dlclose(m_handle);
}

ShellModuleHandle::RegisterExport ShellModuleHandle::registerExport(const char* name) const
{
    if (!m_handle)
        return nullptr;
    return reinterpret_cast<RegisterExport>(::dlsym(m_handle, name));
}

bool EnsureWorkDirectories(const std::function<void(const QString&)>& append)
{
    const auto made = [](const QString& folder) {
        if (folder.isEmpty())
            return false;
        QDir().mkpath(folder);
        return QFileInfo(folder).isDir();
    };
    const bool base = made(AppSettings().autoMountPath);
    const bool temp = made(AppSettings().wimTempPath);
    if (!base && append)
        append(QStringLiteral("\n") + GetLanguageString(255) + u'\n' + GetLanguageString(256) + u'\n');
    if (!temp && append)
        append(QStringLiteral("\n") + GetLanguageString(257) + u'\n' + GetLanguageString(258) + u'\n');
    return base && temp;
}
