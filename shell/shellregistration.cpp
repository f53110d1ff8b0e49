// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/shellregistration.h"

#include "common/systemwidth.h"
#include "shell/desktopfiles.h"
#include "shell/mimeapps.h"
#include "shell/xdgfiles.h"

#include <QDir>
#include <QFileInfo>


namespace shellfiles {

QString MimePackage()
{
    return XdgDataHome() + QStringLiteral("/mime/packages/kestrel.xml");
}
QString Thumbnailer()
{
    return XdgDataHome() + QStringLiteral("/thumbnailers/kestrel.thumbnailer");
}
QString DolphinMenu()
{
    return XdgDataHome() + QStringLiteral("/kio/servicemenus/kestrel.desktop");
}
QString NemoAction()
{
    return XdgDataHome() + QStringLiteral("/nemo/actions/kestrel.nemo_action");
}
QString ThunarActions()
{
    return XdgConfigHome() + QStringLiteral("/Thunar/uca.xml");
}
QString NautilusScript()
{
    // One name whatever the interface language, so that it is found again.
    return XdgDataHome() + QStringLiteral("/nautilus/scripts/Kestrel");
}
QString Record()
{
    return XdgDataHome() + QStringLiteral("/kestrel/shell-extension.ini");
}
QString OpenEntry()
{
    return XdgDataHome() + QStringLiteral("/applications/") + QLatin1String(kOpenDesktopId);
}
QString SystemThumbnailer()
{
    // A test points this at a folder of its own.
    const QString root = qEnvironmentVariable("KESTREL_SYSTEM_DATA_DIR", QStringLiteral("/usr/share"));
    return root + QStringLiteral("/thumbnailers/kestrel.thumbnailer");
}

} // namespace shellfiles

namespace {

// The record standing for the class key and the approval value: two groups
// of an INI file, each written and read only here.
struct ShellRecord {
    QString module;      // [Class] Module=, empty when the group is missing
    QString description; // [Class] Description=
    bool hasClass = false;
    QString approval; // [Approved] {CLSID}=
    bool hasApproval = false;

    static ShellRecord read()
    {
        ShellRecord r;
        const std::optional<QByteArray> bytes = ReadSmallFile(shellfiles::Record());
        if (!bytes)
            return r;
        QString group;
        for (const QString& raw : QString::fromUtf8(*bytes).split(u'\n')) {
            const QString line = raw.trimmed();
            if (line.startsWith(u'[') && line.endsWith(u']')) {
                group = line.mid(1, line.size() - 2);
                r.hasClass = r.hasClass || group == QLatin1String("Class");
                continue;
            }
            const qsizetype eq = line.indexOf(u'=');
            if (eq <= 0)
                continue;
            const QString key = line.left(eq).trimmed();
            const QString value = line.mid(eq + 1).trimmed();
            if (group == QLatin1String("Class") && key == QLatin1String("Module"))
                r.module = value;
            else if (group == QLatin1String("Class") && key == QLatin1String("Description"))
                r.description = value;
            else if (group == QLatin1String("Approved") && key.compare(QLatin1String(kShellClassId), Qt::CaseInsensitive) == 0) {
                r.approval = value;
                r.hasApproval = true;
            }
        }
        return r;
    }

    // Writes the record, or removes it when it holds nothing.
    bool write() const
    {
        if (!hasClass && !hasApproval) {
            const QString path = shellfiles::Record();
            return !QFileInfo::exists(path) || QFile::remove(path);
        }
        QString text;
        if (hasClass) {
            text += QStringLiteral("[Class]\nId=%1\nDescription=%2\nModule=%3\nThreadingModel=Apartment\n")
                        .arg(QLatin1String(kShellClassId), description, module);
        }
        if (hasApproval) {
            if (!text.isEmpty())
                text += u'\n';
            text += QStringLiteral("[Approved]\n%1=%2\n").arg(QLatin1String(kShellClassId), approval);
        }
        return WriteFileAtomically(shellfiles::Record(), text.toUtf8());
    }
};

bool registerClass(const ShellInstall& install)
{
    ShellRecord r = ShellRecord::read();
    r.hasClass = true;
    r.description = QLatin1String(kShellClassName);
    r.module = install.module();
    return r.write();
}

// Fails when there was no class to remove, as deleting a missing key does.
bool unregisterClass()
{
    ShellRecord r = ShellRecord::read();
    if (!r.hasClass)
        return false;
    r.hasClass = false;
    return r.write();
}

bool writeIconHandler(const ShellInstall& install)
{
    // The package's thumbnailer serves every user already.
    if (SystemThumbnailerInstalled())
        return true;
    return WriteFileAtomically(shellfiles::Thumbnailer(), ThumbnailerText(install.host()));
}

bool removeIconHandler()
{
    const bool removed = RemoveFileIfPresent(shellfiles::Thumbnailer());
    return removed || SystemThumbnailerInstalled();
}

bool writeMenuHandlers(const ShellInstall& install)
{
    const QString name = install.menuName.isEmpty() ? QStringLiteral("Kestrel") : install.menuName;
    bool ok = WriteFileAtomically(shellfiles::DolphinMenu(), DolphinServiceMenuText(install.host(), name), true);
    ok = WriteFileAtomically(shellfiles::NemoAction(), NemoActionText(install.host(), name)) && ok;
    const QString thunar = shellfiles::ThunarActions();
    const std::optional<QByteArray> current =
        QFileInfo::exists(thunar) ? ReadSmallFile(thunar, 16 << 20) : std::optional<QByteArray>(QByteArray());
    // A uca.xml that cannot be read or understood is the user's: left alone.
    const std::optional<QByteArray> merged = current ? ThunarActionsWith(*current, install.host(), name) : std::nullopt;
    ok = merged && WriteFileAtomically(thunar, *merged) && ok;
    if (!NautilusExtensionInstalled())
        ok = WriteFileAtomically(shellfiles::NautilusScript(), NautilusScriptText(install.host()), true) && ok;
    else
        RemoveFileIfPresent(shellfiles::NautilusScript());
    return ok;
}

// Removes what is there of Kestrel's menu files; fails when none was there
// or one stays.
bool removeMenuHandlers()
{
    bool any = false;
    bool ok = true;
    for (const QString& path : {shellfiles::DolphinMenu(), shellfiles::NemoAction(), shellfiles::NautilusScript()}) {
        if (!QFileInfo::exists(path))
            continue;
        any = true;
        ok = QFile::remove(path) && ok;
    }
    const QString thunar = shellfiles::ThunarActions();
    if (QFileInfo::exists(thunar)) {
        const std::optional<QByteArray> current = ReadSmallFile(thunar, 16 << 20);
        bool hadOurs = false;
        const std::optional<QByteArray> without = current ? ThunarActionsWithout(*current, &hadOurs) : std::nullopt;
        if (hadOurs) {
            any = true;
            ok = WriteFileAtomically(thunar, *without) && ok;
        }
    }
    return any && ok;
}

void dropSharedKeys()
{
    unregisterClass();
}

} // namespace

bool SystemFitsBuild()
{
    return BuildMatchesSystemWidth(SystemMachine());
}

bool SystemThumbnailerInstalled()
{
    return QFileInfo::exists(shellfiles::SystemThumbnailer());
}

bool NautilusExtensionInstalled()
{
    const QString root = qEnvironmentVariable("KESTREL_SYSTEM_LIB_DIR");
    QStringList folders;
    if (!root.isEmpty())
        folders << root + QStringLiteral("/nautilus/extensions-4");
    else
        folders << QStringLiteral("/usr/lib/x86_64-linux-gnu/nautilus/extensions-4")
                << QStringLiteral("/usr/lib/i386-linux-gnu/nautilus/extensions-4")
                << QStringLiteral("/usr/lib/nautilus/extensions-4");
    for (const QString& folder : folders) {
        if (QFileInfo::exists(folder + QStringLiteral("/libkestrel-nautilus.so")))
            return true;
    }
    return false;
}

bool AssociateExtensions()
{
    const QString package = shellfiles::MimePackage();
    const std::optional<QByteArray> current = ReadSmallFile(package);
    if (!current || *current != MimePackageText()) {
        if (!WriteFileAtomically(package, MimePackageText()))
            return false;
    }
    // The database is made again in any case: a missing cache is what a
    // broken association often is.
    return RunDesktopTool(QStringLiteral("update-mime-database"), {XdgDataHome() + QStringLiteral("/mime")});
}

bool IconHandlerExists()
{
    return QFileInfo::exists(shellfiles::Thumbnailer());
}

bool MenuHandlersExist()
{
    for (const QString& path : {shellfiles::DolphinMenu(), shellfiles::NemoAction(), shellfiles::NautilusScript()}) {
        if (QFileInfo::exists(path))
            return true;
    }
    const std::optional<QByteArray> thunar = ReadSmallFile(shellfiles::ThunarActions(), 16 << 20);
    return thunar && ThunarActionsHaveOurs(*thunar);
}

bool IconHandlerIsOurs(const ShellInstall& install)
{
    const QString host = QFileInfo(install.host()).absoluteFilePath();
    for (const QString& path : {shellfiles::Thumbnailer(), shellfiles::SystemThumbnailer()}) {
        const std::optional<QByteArray> text = ReadSmallFile(path);
        if (text && QFileInfo(ExecProgramOf(*text)).absoluteFilePath() == host)
            return true;
    }
    return false;
}

bool OpenCommandIsOurs(const ShellInstall& install)
{
    const std::optional<QByteArray> text = ReadSmallFile(shellfiles::OpenEntry());
    if (!text)
        return false;
    const QString program = ExecProgramOf(*text);
    return !program.isEmpty() && QFileInfo(program).absoluteFilePath() == QFileInfo(install.program()).absoluteFilePath();
}

void UpdateApprovedEntry(bool registering)
{
    ShellRecord r = ShellRecord::read();
    if (registering) {
        r.hasApproval = true;
        r.approval = QLatin1String(kShellApprovalText);
        r.write();
        return;
    }
    if (IconHandlerExists() || MenuHandlersExist() || !r.hasApproval)
        return;
    // Another program's text is left where it is.
    if (r.approval.compare(QLatin1String(kShellApprovalText), Qt::CaseInsensitive) != 0)
        return;
    r.hasApproval = false;
    r.write();
}

void RefreshOpenWithProgids(bool registering, bool keep)
{
    MimeAppsList list;
    if (!list.load(MimeAppsList::defaultPath()))
        return;
    const QString type = QLatin1String(kImageMimeType);
    const QString id = QLatin1String(kOpenDesktopId);
    const QString group = QLatin1String(kAddedAssociations);
    bool changed = false;
    if (!registering)
        changed = list.remove(group, type, id);
    // Offered after what the user added before.
    if ((registering || keep) && !list.entries(group, type).contains(id)) {
        list.append(group, type, id);
        changed = true;
    }
    if (changed)
        list.save();
}

int RegisterIconShellExtension(const ShellInstall& install, bool registering)
{
    if (!SystemFitsBuild())
        return 1;
    if (registering)
        AssociateExtensions();
    const bool ok = registering ? writeIconHandler(install) : removeIconHandler();
    if (ok) {
        if (registering)
            registerClass(install);
        else if (!MenuHandlersExist())
            dropSharedKeys();
    }
    UpdateApprovedEntry(registering);
    RefreshOpenWithProgids(registering, OpenCommandIsOurs(install));
    return ok ? 0 : 1;
}

int RegisterMenuShellExtension(const ShellInstall& install, bool registering)
{
    if (!SystemFitsBuild())
        return 1;
    if (registering)
        AssociateExtensions();
    if (!(registering ? writeMenuHandlers(install) : removeMenuHandlers())) {
        UpdateApprovedEntry(registering);
        return 1;
    }
    int result = 0;
    if (registering) {
        result = registerClass(install) ? 0 : 2;
    } else if (!IconHandlerExists()) {
        dropSharedKeys();
        result = ShellRecord::read().hasClass ? 2 : 0;
    }
    UpdateApprovedEntry(registering);
    return result;
}

int RegisterShellServer(const ShellInstall& install)
{
    if (!SystemFitsBuild())
        return 1;
    int result = 0;
    AssociateExtensions();
    if (writeIconHandler(install))
        registerClass(install);
    else
        result |= 1;
    UpdateApprovedEntry(true);
    RefreshOpenWithProgids(true, OpenCommandIsOurs(install));
    if (!writeMenuHandlers(install) || !registerClass(install))
        result |= 2;
    UpdateApprovedEntry(true);
    return result;
}

int UnregisterShellServer(const ShellInstall& install)
{
    if (!SystemFitsBuild()) {
        UpdateApprovedEntry(false);
        return 3;
    }
    int result = 0;
    if (removeIconHandler()) {
        if (!MenuHandlersExist())
            dropSharedKeys();
    } else {
        result |= 1;
    }
    UpdateApprovedEntry(false);
    RefreshOpenWithProgids(false, OpenCommandIsOurs(install));
    if (removeMenuHandlers()) {
        if (!IconHandlerExists()) {
            dropSharedKeys();
            if (ShellRecord::read().hasClass)
                result |= 2;
        }
    } else {
        result |= 2;
    }
    UpdateApprovedEntry(false);
    return result;
}
