// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/registerpages.h"

#include "pages/browserpage.h"
#include "pages/capturepage.h"
#include "pages/exportpage.h"
#include "pages/iconpage.h"
#include "pages/infopage.h"
#include "pages/mountpage.h"
#include "pages/mountsettingspage.h"
#include "ui/helppage.h"
#include "ui/pageframework.h"
#include "ui/settingspage.h"

void RegisterKestrelPages()
{
    RegisterPageFactory(kPageMount, [](QWidget* parent) -> KestrelPage* { return new MountPage(parent); });
    RegisterPageFactory(kPageCapture, [](QWidget* parent) -> KestrelPage* { return new CapturePage(parent); });
    RegisterPageFactory(kPageShellExec,
                        [](QWidget* parent) -> KestrelPage* { return new MountSettingsPage(parent); });
    RegisterPageFactory(kPageInfo, [](QWidget* parent) -> KestrelPage* { return new InfoPage(parent); });
    RegisterPageFactory(kPageExport, [](QWidget* parent) -> KestrelPage* { return new ExportPage(parent); });
    RegisterPageFactory(kPageBrowser, [](QWidget* parent) -> KestrelPage* { return new BrowserPage(parent); });
    RegisterPageFactory(kPageIcon, [](QWidget* parent) -> KestrelPage* { return new IconPage(parent); });
    RegisterPageFactory(kPageSettings, [](QWidget* parent) -> KestrelPage* { return new SettingsPage(parent); });
    RegisterPageFactory(kPageHelp, [](QWidget* parent) -> KestrelPage* { return new HelpPage(parent); });
}
