// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/registerpages.h"

#include "pages/exportpage.h"
#include "pages/mountpage.h"
#include "ui/pageframework.h"

void RegisterKestrelPages()
{
    RegisterPageFactory(kPageMount, [](QWidget* parent) -> KestrelPage* { return new MountPage(parent); });
    RegisterPageFactory(kPageExport, [](QWidget* parent) -> KestrelPage* { return new ExportPage(parent); });
}
