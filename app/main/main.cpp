// SPDX-License-Identifier: GPL-3.0-or-later
// Kestrel's entry point: capture the command line, read the settings and the
// language, bind the imaging libraries, then run the mode the command line
// asks for.
#include "app/cli.h"
#include "app/commandline.h"
#include "app/doubleclickmount.h"
#include "common/language.h"
#include "common/settings.h"
#include "imaging/binding.h"
#include "imaging/resources.h"
#include "imaging/resourcepacker.h"
#include "pages/registerpages.h"
#include "ui/doubleclickdialogs.h"
#include "ui/mainwindow.h"
#include "ui/qttranslation.h"
#include "ui/unattendeddialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <memory>

namespace {

bool g_imagingLibraryFlag = false;

// The window needs a display, or a platform chosen on purpose (offscreen
// for screenshots and tests). Without either, Qt would abort the process.
bool WindowPlatformAvailable()
{
    return DisplayAvailable(true);
}

void Shutdown()
{
    // Everything the process holds is owned by RAII objects and released on
    // exit; nothing is left that needs an explicit release at this point.
}

} // namespace

int main(int argc, char** argv)
{
    CaptureCommandLine(argc, argv);
    const CommandLine& cmd = GetCommandLine();
    if (const int help = PrintHelpOrVersion(cmd.args); help >= 0)
        return help;
    LoadSettings(ApplicationDirectory());
    ChooseLanguageFromLocale();
    UseCarriedLanguage();
    LoadLanguage();
    g_imagingLibraryFlag = BindImagingLibraries(ApplicationDirectory());

    bool isFile = false;
    bool hasMountCommand = false;
    if (cmd.count() > 1 && !cmd.arg(1).isEmpty() && QFileInfo(cmd.arg(1)).isFile()) {
        isFile = true;
        hasMountCommand = HasImageMountCommand(cmd.arg(1));
    }
    RunMode mode = DecideRunMode(cmd.args, isFile, hasMountCommand);

    int rc = 0;
    switch (mode.mode) {
    case kModeCommandLine: {
        // Dialogs need a display; without one the same work runs without them.
        SilenceQtMessages();
        std::unique_ptr<QCoreApplication> app;
        if (SwitchMayShowWindow(mode.subCode) && DisplayAvailable()) {
            app = std::make_unique<QApplication>(argc, argv);
            InstallQtTranslation();
            RegisterWidgetTaskDialogs();
        } else {
            app = std::make_unique<QCoreApplication>(argc, argv);
        }
        rc = RunCommandLine(argc, argv, mode.subCode);
        break;
    }
    case kModeResourcePacker:
        rc = RunResourcePacker(cmd.args);
        break;
    case kModeDoubleClickMount: {
        // The consent question and failure boxes need a display; the
        // application ends before the main window makes its own.
        int result = 0;
        {
            std::unique_ptr<QCoreApplication> app;
            if (DisplayAvailable()) {
                app = std::make_unique<QApplication>(argc, argv);
                RegisterWidgetDoubleClickDialogs();
            } else {
                app = std::make_unique<QCoreApplication>(argc, argv);
            }
            result = RunDoubleClickMount(cmd.arg(1));
            RegisterDoubleClickDialogs(nullptr);
        }
        if (result != 0)
            break;
        mode = {kModeMainWindowWithFile, kSubCodeFilePage};
    }
        [[fallthrough]];
    default:
        if (!WindowPlatformAvailable()) {
            std::fprintf(stderr, "Kestrel: no display for the main window; start it on a desktop, "
                                 "or give a command-line switch such as /Apply or /Capture\n");
            rc = 1;
            break;
        }
        RegisterKestrelPages();
        RegisterWidgetTaskDialogs();
        rc = RunMainWindow(argc, argv, mode);
        break;
    }
    Shutdown();
    return rc;
}
