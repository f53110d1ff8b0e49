// SPDX-License-Identifier: GPL-3.0-or-later
// The four file and folder pickers. Each is modal to its owner, starts in the
// folder of its own last result (the home folder at first) and remembers the
// new one for the rest of the process. A cancelled dialog, or a result that
// is not what the picker promises, gives an empty text and leaves the
// remembered folder alone. The dialogs are Qt's own (not the desktop's), so
// that they behave the same everywhere and can carry the new-folder button.
#pragma once

#include <QString>

class QWidget;

enum class PickerKind : int { OpenFile = 0, SaveFile = 1, Folder = 2, FileOrFolder = 3 };

// An existing file matching the filter pattern ("*.WIM;*.SWM;*.ESD").
// `fieldPath`, the path already in the field the result goes to, decides the
// starting folder when it lies in an existing one (the remembered folder
// otherwise); PickFolder takes it the same way.
QString PickOpenFile(QWidget* owner, const QString& title, const QString& filterName, const QString& filterPattern,
                     const QString& fieldPath = QString());

// A file name to write. No overwrite question: the pages ask themselves. The
// proposed name is the base name followed by the pattern's first extension,
// which is also the default suffix.
QString PickSaveFile(QWidget* owner, const QString& title, const QString& filterName, const QString& filterPattern,
                     const QString& proposedBaseName);

// An existing folder. With a button text, the dialog has a button that makes
// a new folder of that name in the current folder ("name", "name (2)", ...).
QString PickFolder(QWidget* owner, const QString& title, const QString& newFolderText = QString(),
                   const QString& fieldPath = QString());

// An existing file or folder, without a trailing "/": confirming the dialog
// with a folder's path in the name box returns that folder.
QString PickFileOrFolder(QWidget* owner);

// The folder the picker starts in next time (empty before its first result).
QString RememberedFolder(PickerKind kind);

// The first extension of a pattern: from its first "." to its first ";"
// (".WIM" for "*.WIM;*.ESD"); empty without ".".
QString FirstPatternExtension(const QString& pattern);

// Makes a new folder `name` in `parent`, or "name (2)", "name (3)" ... when
// the name is taken. Returns the new folder's path, empty on failure.
QString MakeNewFolder(const QString& parent, const QString& name);
