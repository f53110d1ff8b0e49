// SPDX-License-Identifier: GPL-3.0-or-later
// Real image files for the page tests, written with wimlib itself, and the
// binding of the imaging layer the tests run against.
#pragma once

#include "support/fusesupport.h"

#include <QString>
#include <QStringList>

// Settings, the default language file, the drawing resources and the
// imaging layer, once per test binary. Empty when all is there, else why the
// imaging layer is missing (tests that need it skip with this reason).
const QString& PageTestSetupProblem();

// Fills ImagingApi from the imaging layer built beside the program; false
// (with the reason in `why`) when it is not there.
bool BindTestImagingLayer(QString* why);

// A small tree: a.txt, sub/b.txt, an empty folder and `randomFiles`
// incompressible files of `randomBytes` bytes each (r0.bin, r1.bin, ...).
void MakeSourceTree(const QString& folder, int randomFiles = 0, int randomBytes = 0);

// Captures `source` `images` times into a new file. `compression` is
// wimlib's type; LZMS writes a solid (ESD) file.
bool WriteImageFile(const QString& source, const QString& path, int compression, int images = 1);

// Splits `wim` into parts named like `firstPart` of at most `partBytes`
// bytes; returns the part names in order (empty on failure).
QStringList SplitImageFile(const QString& wim, const QString& firstPart, quint64 partBytes);

// The relative paths of every file and folder under `folder`, sorted.
QStringList ListTree(const QString& folder);

// Runs a program to the end (at most `timeoutMs`); its exit code, or -1.
int RunTool(const QString& program, const QStringList& args, int timeoutMs = 60000, QString* output = nullptr);

