// SPDX-License-Identifier: GPL-3.0-or-later
// "--help" ("-h", "/?") and "--version": what the command line offers, on
// standard output.
#include "app/cli.h"

#include "common/language.h"

#include <cstdio>

QString CommandLineHelpText()
{
    return QStringLiteral(
        "Usage: Kestrel [switch arguments...]\n"
        "Without a switch the main window opens (an image file as the only argument opens it there).\n"
        "An image is \"file[,number|,name]\". Exit code: 0 success, 1 the job failed, 2 wrong arguments.\n"
        "\n"
        "  /Mount image [folder]          mount read-only (a fresh folder under AutoMountPath without one)\n"
        "      Kestrel /Mount backup.wim,1 ~/mnt\n"
        "  /MountRW image [folder]        mount read-write\n"
        "      Kestrel /MountRW backup.wim,\"My data\" ~/mnt\n"
        "  /ReMount folder                remount a mount whose service ended (\"\" for all)\n"
        "      Kestrel /ReMount ~/mnt\n"
        "  /UnMount folder|/All [/Commit|/Update]   unmount; /Commit saves changes, /Update asks\n"
        "      Kestrel /UnMount ~/mnt /Commit\n"
        "  /CleanUp                       remove mounts that are no longer valid\n"
        "      Kestrel /CleanUp\n"
        "  /Apply image folder|/NotAcl [/NotAcl] [/Config file]   apply an image into a folder\n"
        "      Kestrel /Apply backup.wim,1 ~/restored\n"
        "  /ExtrImage ...                 as /Apply, with a progress window\n"
        "      Kestrel /ExtrImage backup.wim,2 ~/restored\n"
        "  /Capture folder image[,name] [/Compress None|Xpress|Lzx|Lzms] [/Config file] [/Boot]\n"
        "      Kestrel /Capture ~/data backup.wim,\"My data\" /Compress Lzx\n"
        "  /CompPath ...                  as /Capture, with a progress window\n"
        "      Kestrel /CompPath ~/data backup.wim,Shown\n"
        "  /Append folder image[,name] [...]   add an image to an existing file\n"
        "      Kestrel /Append ~/data backup.wim,\"Second\"\n"
        "  /Export image target [/Compress ...] [/Boot]   export one image (all without a number)\n"
        "      Kestrel /Export backup.wim,2 other.esd /Compress Lzms\n"
        "  /Split image target,MB         split into parts of that size (not for LZMS files)\n"
        "      Kestrel /Split backup.wim parts.swm,4000\n"
        "  /ExtrPath image,number path target   extract one path of an image\n"
        "      Kestrel /ExtrPath backup.wim,1 /etc/hosts ~/out\n"
        "  /AppenPath image,number folder source   add a file or folder into an image\n"
        "      Kestrel /AppenPath backup.wim,1 /extra ~/notes.txt\n"
        "  /Page path[,page]              open the window on a page with a file or folder filled in\n"
        "      Kestrel /Page backup.wim,4\n"
        "  /Register [Icon] [Memu] [Exec] [/MountPath folder] [/WimTemp folder]   file-manager integration\n"
        "      Kestrel /Register Exec\n"
        "  /Unload [Icon] [Memu] [Exec] [/MountPath] [/WimTemp]   remove it again\n"
        "      Kestrel /Unload\n"
        "  /Icon [cache-size]             rebuild the icon cache\n"
        "      Kestrel /Icon 4096\n"
        "  /WimTemp folder                set the temporary folder\n"
        "      Kestrel /WimTemp ~/wimtemp\n"
        "  /MountPath folder              set the base folder of automatic mounts\n"
        "      Kestrel /MountPath ~/mounts\n"
        "\n"
        "  --help, -h, /?                 this text\n"
        "  --version                      the version\n");
}

int PrintHelpOrVersion(const QStringList& args)
{
    if (args.size() != 2)
        return -1;
    const QString& a = args.at(1);
    QString text;
    if (a == u"--help" || a == u"-h" || a == u"/?")
        text = CommandLineHelpText();
    else if (a == u"--version")
        text = QStringLiteral("Kestrel ") + ProgramVersion() + u'\n';
    else
        return -1;
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
    return kExitSuccess;
}
