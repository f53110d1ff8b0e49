// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/registerpages.h"

#include "pages/infopage.h"
#include "pages/mountpage.h"
#include "ui/pageframework.h"

void RegisterKestrelPages()
{
    RegisterPageFactory(kPageMount, [](QWidget* parent) -> KestrelPage* { return new MountPage(parent); });
    RegisterPageFactory(kPageInfo, [](QWidget* parent) -> KestrelPage* { return new InfoPage(parent); });
}
