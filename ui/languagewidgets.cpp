// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/languagewidgets.h"

#include "common/language.h"
#include "common/settings.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

void FillComboKeepingSelection(QComboBox* combo, const QStringList& entries, int defaultIndex)
{
    if (!combo)
        return;
    const int previous = combo->currentIndex();
    const QString editText = combo->isEditable() ? combo->currentText() : QString();
    {
        const QSignalBlocker block(combo);
        combo->clear();
        combo->addItems(entries);
        int index = previous >= 0 ? previous : defaultIndex;
        if (index >= combo->count())
            index = defaultIndex < combo->count() ? defaultIndex : -1;
        combo->setCurrentIndex(index);
        // A text the user typed into an editable box is not an entry; keep it.
        if (combo->isEditable() && previous < 0 && !editText.isEmpty())
            combo->setEditText(editText);
    }
    if (combo->currentIndex() != previous)
        emit combo->currentIndexChanged(combo->currentIndex());
}

void FillListFromSection(QComboBox* combo, const QString& header, int defaultIndex)
{
    FillComboKeepingSelection(combo, SectionListEntries(header, defaultIndex), defaultIndex);
}

void FillCompressTypeList(QComboBox* combo, int defaultIndex)
{
    if (!HasLanguageSection(QStringLiteral("[Compress_Type]")))
        return;
    FillComboKeepingSelection(combo, CompressTypeNames(), defaultIndex);
}

void FillSystemFlagList(QComboBox* combo, QString* hint)
{
    QString first;
    const QStringList entries = SystemFlagEntries(&first);
    if (hint)
        *hint = first;
    if (!combo)
        return;
    FillComboKeepingSelection(combo, entries, 0);
    if (combo->lineEdit())
        combo->lineEdit()->setPlaceholderText(first);
}

void FillLanguageList(QComboBox* combo)
{
    if (!combo)
        return;
    const QStringList names = LanguageFileNames();
    const QSignalBlocker block(combo);
    combo->clear();
    // The built-in language first, by its own name; its entry's data is the
    // empty name that SwitchLanguage takes for it.
    QString builtIn = BuiltInLanguageName();
    if (builtIn.isEmpty())
        builtIn = QStringLiteral("Default");
    combo->addItem(builtIn, QString());
    int current = 0;
    for (const QString& name : names) {
        combo->addItem(name, name);
        if (current == 0 && !AppSettings().language.isEmpty()
            && name.compare(AppSettings().language, Qt::CaseInsensitive) == 0)
            current = combo->count() - 1;
    }
    combo->setCurrentIndex(current);
    combo->setVisible(!names.isEmpty());
}
