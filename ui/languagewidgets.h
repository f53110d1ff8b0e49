// SPDX-License-Identifier: GPL-3.0-or-later
// Combo boxes filled from the language file: the compression types, the image
// flags and the list of language files.
#pragma once

#include <QString>
#include <QStringList>

class QComboBox;

// Fills the box with the entries of a language section, keeping the selected
// entry; with nothing selected before, `defaultIndex` is selected. A non-zero
// defaultIndex also limits the list to the first four entries.
void FillListFromSection(QComboBox* combo, const QString& header, int defaultIndex);

// The compression names; leaves the box alone when the language file has no
// "[Compress_Type]".
void FillCompressTypeList(QComboBox* combo, int defaultIndex);

// The image-flag suggestions, hint line included; `hint` receives the hint
// (shown as the placeholder of an editable box).
void FillSystemFlagList(QComboBox* combo, QString* hint);

// The built-in language (by its own name, item data "") followed by the
// language names of the "Languages" folder (item data the name), the
// current one selected; the box is hidden when the folder has none. Emits
// no signals.
void FillLanguageList(QComboBox* combo);

// The entries with the selection kept as FillListFromSection does.
void FillComboKeepingSelection(QComboBox* combo, const QStringList& entries, int defaultIndex);
