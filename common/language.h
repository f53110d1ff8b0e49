// SPDX-License-Identifier: GPL-3.0-or-later
// The language resources: the numbered interface strings, the texts derived
// from them, the sections that fill combo boxes, the page help texts, and the
// capture-configuration table kept in the first part of the language file.
//
// Loading and switching happen on the main thread; other threads only read,
// and may do so at any time (the tables are guarded).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "common/inisection.h"

// Builds the language and capture-configuration tables from the selected
// language file, or the built-in one.
void LoadLanguage();

// Language string n of the current language file; empty when it has none.
QString GetLanguageString(int n);

// The text of a language or configuration file: UTF-16LE after the byte-order
// mark, else the locale's encoding; it ends at its first zero character.
QString DecodeLanguageText(const QByteArray& bytes);

// The text of a capture configuration file as DecodeLanguageText gives it;
// false when the file cannot be read or is far larger than any such file.
bool ReadConfigurationFileText(const QString& path, QString* text);

// Builds both tables from the bytes of a language file: UTF-16LE when they
// start with the byte-order mark, else the locale's encoding. Returns false,
// leaving the tables as they were, when the text holds no "[System_Flag]".
bool LoadLanguageFromBytes(const QByteArray& bytes);
// The same for a file; false also when the file cannot be read or is larger
// than any language file can reasonably be.
bool LoadLanguageFromFile(const QString& path);
// Where LoadBuiltInLanguage takes the built-in file's bytes from; without a
// source the built-in language is empty.
void SetBuiltInLanguageSource(QByteArray (*source)());
// The built-in language file; it is used even without "[System_Flag]" (then
// the capture configuration is empty), and an empty one leaves empty tables.
void LoadBuiltInLanguage();

// The language file of a name in the "Languages" folder beside the program
// ("<dir>/Languages/<name>.INI", the extension in any case), or an empty
// text when there is none.
QString LanguageFilePath(const QString& name);
// A file of the "Languages" folder by language name and extension
// ("<dir>/Languages/<name>.html"), the extension in any case; empty when
// there is none or the name cannot be a file name.
QString LanguageFolderFile(const QString& name, const QString& extension);
// The language names of the "Languages" folder: every "*.INI" file (any case)
// by its name up to the last ".", in the order the folder lists them.
QStringList LanguageFileNames();
// The built-in language's own name (its language string 370), as the
// language list shows it; empty when its file names none.
QString BuiltInLanguageName();
// The locale the current language file names (language string 371: "zh_CN"
// for the built-in language, "en" for English); empty when it names none.
QString InterfaceLocale();
// Stores the name (cut to 256 characters) in the settings, writes it as
// "Language", and reloads. An empty name stands for the built-in language.
// The caller re-applies the window texts.
void SwitchLanguage(const QString& name);

// The language of a first start (no "Language" stored yet) under the locale
// `localeName` ("en_US.UTF-8"): the installed language file whose locale
// (its language string 371) equals the locale's language and territory, else
// its language ("en" for "en_GB"); a Chinese locale, the "C" locale or no
// match give the built-in language (an empty name). `installed` holds each
// file's name and locale.
struct InstalledLanguage {
    QString name;
    QString locale;
};
QString LanguageForLocale(const QString& localeName, const QList<InstalledLanguage>& installed);
// The locale that decides the interface language: LC_ALL, LC_MESSAGES, then
// LANG, the first one set.
QString SystemMessagesLocale();
// When the settings store no "Language", sets the record's language from the
// system locale (LanguageForLocale over the installed files). Nothing is
// written: the choice is stored when the user saves the settings.
void ChooseLanguageFromLocale();

// The program's version, "1.7.2025.1008".
QString ProgramVersion();

// Language string 267 followed by " V1.7.2025.1008 x64U" (x86U in a 32-bit
// build): the main window's and the unattended progress dialog's title.
QString ProgramTitle();

// The relabelled buttons of the stop confirmation boxes.
enum ConfirmButtonText : int {
    kButtonTextYes = 0,    // OK and Yes: language string 284 "安全终止"
    kButtonTextNo = 1,     // No and Retry: 285 "强行终止"
    kButtonTextCancel = 2, // Cancel: 286 "返回继续"
};
QString ConfirmButtonLabel(int which);

// The lines of help text k (1 to 8) with their leading blanks; empty when
// the section is missing, empty or k is out of range.
QStringList HelpText(int k);

// Line `type` (from 0) of "[Compress_Type]" without its leading blanks and
// tabs; empty when the section has no such line.
QString GetCompressTypeName(int type);

// The keys of a section of the language part ("[Compress_Type]",
// "[System_Flag]"), as written; empty when the section is missing.
QStringList LanguageSectionKeys(const QString& header);
bool HasLanguageSection(const QString& header);
// The entries a combo box shows for a section: its keys trimmed at the start,
// at most the first four when defaultIndex is not 0 (the compression lists).
QStringList SectionListEntries(const QString& header, int defaultIndex);
// "[Compress_Type]" for a compression combo box (at most four names; empty
// when the section is missing, and then the box is left alone).
QStringList CompressTypeNames();
// "[System_Flag]" for an image-flag combo box: all lines, hint included;
// `hint` receives the first line trimmed at its start (empty when none).
QStringList SystemFlagEntries(QString* hint);

// A copy of the current capture-configuration table.
IniSectionTable ConfigurationTable();
// The text before "[System_Flag]" of the last loaded file, for the editor's
// "Default" button.
QString DefaultConfigurationText();
// The table as the editor shows it: each header, then its keys, each line
// followed by CR LF.
QString ConfigurationTableText();
// Replaces the capture-configuration table by the parsed text (the editor's
// "Apply"); the next operation uses it.
void SetConfigurationText(const QString& text);
