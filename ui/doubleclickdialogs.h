// SPDX-License-Identifier: GPL-3.0-or-later
// The windows of the double-click mount: the question before a file's
// stored commands run, and the box that says why a run failed.
#pragma once

#include "app/doubleclickmount.h"

#include <QMessageBox>

class QWidget;

// The consent question, not yet shown: the file and the commands exactly as
// stored, and the buttons "执行" (Yes), "仅挂载" (No) and "取消" (Cancel);
// Cancel is the default and the answer to Escape.
void BuildMountConsentBox(QMessageBox& box, const QString& imageFile, const QString& mountCommand,
                          const QString& unmountCommand);

// The answer a button of that box stands for.
MountConsent MountConsentFromButton(QMessageBox::StandardButton button);

// Registers the widgets with the run (RegisterDoubleClickDialogs). Call once
// a QApplication exists and a display is there.
void RegisterWidgetDoubleClickDialogs();
