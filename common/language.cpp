// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/language.h"

#include "common/appdirectory.h"
#include "common/registry.h"
#include "common/settings.h"
#include "common/textutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QReadLocker>
#include <QReadWriteLock>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QWriteLocker>

#include <array>
#include <atomic>

namespace {

// Where the built-in language file comes from: the program carries it packed,
// a module without the program's resources has none.
std::atomic<QByteArray (*)()> g_builtInSource{nullptr};

constexpr int kHelpTexts = 8;
constexpr int kLanguageNameUnits = 256;
// Language files are a few tens of kilobytes; anything this large is not one
// and is refused rather than read into memory.
constexpr qint64 kMaxLanguageFileBytes = 16 * 1024 * 1024;

// The language's own name and its locale ("zh_CN", "en").
constexpr int kLanguageNameString = 370;
constexpr int kLocaleString = 371;

const QString kSystemFlagHeader = QStringLiteral("[System_Flag]");
const QString kStringListHeader = QStringLiteral("[String_List]");
const QString kCompressTypeHeader = QStringLiteral("[Compress_Type]");

// The 32-bit build names itself x86, as its installed folder does.
const QString kTitleSuffix = QStringLiteral(" V") + ProgramVersion()
    + (sizeof(void*) == 4 ? QStringLiteral(" x86U") : QStringLiteral(" x64U"));

struct LanguageState {
    IniSectionTable languageTable{kIniTrimEnd};
    IniSectionTable configTable{kIniTrimBoth};
    QString defaultConfigText;
    QString programTitle;
    std::array<QString, 3> buttonTexts;
    std::array<QStringList, kHelpTexts> helpTexts;
};

QReadWriteLock g_lock;
LanguageState g_state;
// The position of "[String_List]" found at the first load, kept for the
// process: language files share one section order, so later loads find it
// at once. It is checked before use, so a file in another order (or one
// without the section) still gets its own strings, or none.
int g_stringListIndex = -1;

bool isStringListAt(const IniSectionTable& table, int index)
{
    return index >= 0 && index < table.sections().size()
        && table.sections()[index].header.compare(kStringListHeader, Qt::CaseInsensitive) == 0;
}

int stringListIndex(const IniSectionTable& table)
{
    if (isStringListAt(table, g_stringListIndex))
        return g_stringListIndex;
    const int found = table.indexOf(kStringListHeader);
    if (found >= 0)
        g_stringListIndex = found;
    return found;
}

QString lookUp(const IniSectionTable& table, int index, int n)
{
    if (index < 0 || index >= table.sections().size())
        return QString();
    const IniSection& section = table.sections()[index];
    for (qsizetype i = 0; i < section.keys.size(); ++i) {
        if (IniKeyNumber(section.keys[i]) == n)
            return section.values[i];
    }
    return QString();
}

// Builds both tables and the derived texts, then publishes them at once.
bool applyLanguageText(const QString& text, bool requireSystemFlag)
{
    const qsizetype flag = text.indexOf(kSystemFlagHeader, 0, Qt::CaseInsensitive);
    if (flag < 0 && requireSystemFlag)
        return false;

    LanguageState next;
    ResetSectionTable(next.languageTable, kIniTrimEnd);
    ResetSectionTable(next.configTable, kIniTrimBoth);
    if (flag >= 0) {
        next.defaultConfigText = text.first(flag);
        BuildSectionTable(next.configTable, next.defaultConfigText);
        BuildSectionTable(next.languageTable, QStringView(text).sliced(flag));
    } else {
        BuildSectionTable(next.languageTable, text);
    }

    QWriteLocker locker(&g_lock);
    const int strings = stringListIndex(next.languageTable);
    next.programTitle = lookUp(next.languageTable, strings, 267) + kTitleSuffix;
    for (int i = 0; i < 3; ++i)
        next.buttonTexts[i] = lookUp(next.languageTable, strings, 284 + i);
    for (int k = 0; k < kHelpTexts; ++k)
        next.helpTexts[k] = next.languageTable.keys(QStringLiteral("[Help_Text%1]").arg(k + 1));
    g_state = std::move(next);
    return true;
}

bool isLanguageName(const QString& name)
{
    return !name.isEmpty() && !name.contains(u'/') && !name.contains(QChar(u'\0')) && name != u".."
        && name != u".";
}

QString languageFolder()
{
    return ApplicationDirectory() + QStringLiteral("/Languages/");
}

} // namespace

void LoadLanguage()
{
    const QString path = LanguageFilePath(AppSettings().language);
    if (!path.isEmpty() && LoadLanguageFromFile(path))
        return;
    LoadBuiltInLanguage();
}

QString GetLanguageString(int n)
{
    QReadLocker locker(&g_lock);
    const IniSectionTable& table = g_state.languageTable;
    return lookUp(table, isStringListAt(table, g_stringListIndex) ? g_stringListIndex : -1, n);
}

QString DecodeLanguageText(const QByteArray& bytes)
{
    QString text;
    if (bytes.size() >= 2 && uchar(bytes[0]) == 0xFF && uchar(bytes[1]) == 0xFE) {
        QStringDecoder decoder(QStringConverter::Utf16LE);
        text = decoder(bytes);
    } else {
        QStringDecoder decoder(QStringConverter::System);
        text = decoder(bytes);
    }
    // The file is used as a zero-terminated text: nothing after a zero counts.
    const qsizetype zero = text.indexOf(QChar(u'\0'));
    if (zero >= 0)
        text.truncate(zero);
    return text;
}

bool ReadConfigurationFileText(const QString& path, QString* text)
{
    QFile file(path);
    if (path.isEmpty() || !QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    // A capture configuration is a few kilobytes, like a language file.
    const QByteArray bytes = file.read(kMaxLanguageFileBytes + 1);
    if (bytes.size() > kMaxLanguageFileBytes)
        return false;
    if (text)
        *text = DecodeLanguageText(bytes);
    return true;
}

bool LoadLanguageFromBytes(const QByteArray& bytes)
{
    return applyLanguageText(DecodeLanguageText(bytes), true);
}

bool LoadLanguageFromFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxLanguageFileBytes)
        return false;
    const QByteArray bytes = file.read(kMaxLanguageFileBytes + 1);
    if (bytes.size() > kMaxLanguageFileBytes)
        return false;
    return LoadLanguageFromBytes(bytes);
}

void SetBuiltInLanguageSource(QByteArray (*source)())
{
    g_builtInSource.store(source);
}

void LoadBuiltInLanguage()
{
    QByteArray (*source)() = g_builtInSource.load();
    applyLanguageText(DecodeLanguageText(source ? source() : QByteArray()), false);
}

QString LanguageFilePath(const QString& name)
{
    return LanguageFolderFile(name, QStringLiteral(".INI"));
}

QString LanguageFolderFile(const QString& name, const QString& extension)
{
    if (!isLanguageName(name))
        return QString();
    const QString folder = languageFolder();
    const QString exact = folder + name + extension;
    if (QFileInfo(exact).isFile())
        return exact;
    // Extensions ignore case, so "english.ini" serves the name "english".
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::Unsorted);
    for (const QFileInfo& info : files) {
        const QString fileName = info.fileName();
        if (fileName.size() == name.size() + extension.size() && fileName.startsWith(name)
            && fileName.endsWith(extension, Qt::CaseInsensitive))
            return info.filePath();
    }
    return QString();
}

QStringList LanguageFileNames()
{
    QStringList names;
    const QFileInfoList files = QDir(languageFolder())
                                    .entryInfoList({QStringLiteral("*.INI")}, QDir::Files | QDir::Hidden,
                                                   QDir::Unsorted);
    for (const QFileInfo& info : files) {
        const QString fileName = info.fileName();
        const QString name = fileName.left(fileName.lastIndexOf(u'.'));
        if (!name.isEmpty())
            names.append(name);
    }
    return names;
}

void SwitchLanguage(const QString& name)
{
    const QString cut = name.left(kLanguageNameUnits);
    AppSettings().language = cut;
    WriteRegistryText(QString::fromUtf16(kSettingsSubKey), QStringLiteral("Language"), cut);
    LoadLanguage();
}

namespace {

// Language string n of a language file's text, without loading it.
QString stringOfText(const QString& text, int n)
{
    const qsizetype flag = text.indexOf(kSystemFlagHeader, 0, Qt::CaseInsensitive);
    IniSectionTable table{kIniTrimEnd};
    ResetSectionTable(table, kIniTrimEnd);
    BuildSectionTable(table, flag >= 0 ? QStringView(text).sliced(flag) : QStringView(text));
    return lookUp(table, table.indexOf(kStringListHeader), n).trimmed();
}

// "en_US.UTF-8@euro" -> "en_US"; "en-us" reads as "en_US" too.
QString localeKey(const QString& locale)
{
    QString key = locale.trimmed();
    const qsizetype cut = key.indexOf(QRegularExpression(QStringLiteral("[.@]")));
    if (cut >= 0)
        key.truncate(cut);
    key.replace(u'-', u'_');
    return key;
}

QString localeLanguage(const QString& key)
{
    return key.section(u'_', 0, 0).toLower();
}

} // namespace

QString BuiltInLanguageName()
{
    QByteArray (*source)() = g_builtInSource.load();
    return stringOfText(DecodeLanguageText(source ? source() : QByteArray()), kLanguageNameString);
}

QString LanguageForLocale(const QString& localeName, const QList<InstalledLanguage>& installed)
{
    const QString key = localeKey(localeName);
    const QString language = localeLanguage(key);
    // The built-in language is Chinese; "C" and "POSIX" name no language.
    if (language.isEmpty() || language == u"zh" || language == u"c" || language == u"posix")
        return QString();
    for (const InstalledLanguage& l : installed) {
        if (!l.name.isEmpty() && localeKey(l.locale).compare(key, Qt::CaseInsensitive) == 0)
            return l.name;
    }
    for (const InstalledLanguage& l : installed) {
        if (!l.name.isEmpty() && localeLanguage(localeKey(l.locale)) == language)
            return l.name;
    }
    return QString();
}

QString SystemMessagesLocale()
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return value;
    }
    return QString();
}

void ChooseLanguageFromLocale()
{
    if (ReadRegistryText(QString::fromUtf16(kSettingsSubKey), QStringLiteral("Language")))
        return;
    const QString locale = SystemMessagesLocale();
    if (localeLanguage(localeKey(locale)).isEmpty())
        return;
    QList<InstalledLanguage> installed;
    for (const QString& name : LanguageFileNames()) {
        const QString path = LanguageFilePath(name);
        QFile file(path);
        if (path.isEmpty() || file.size() > kMaxLanguageFileBytes || !file.open(QIODevice::ReadOnly))
            continue;
        installed.append({name, stringOfText(DecodeLanguageText(file.readAll()), kLocaleString)});
    }
    AppSettings().language = LanguageForLocale(locale, installed);
}

QString InterfaceLocale()
{
    return GetLanguageString(kLocaleString).trimmed();
}

QString ProgramVersion()
{
    return QStringLiteral("1.7.2025.1008");
}

QString ProgramTitle()
{
    QReadLocker locker(&g_lock);
    return g_state.programTitle;
}

QString ConfirmButtonLabel(int which)
{
    QReadLocker locker(&g_lock);
    return which >= 0 && which < 3 ? g_state.buttonTexts[which] : QString();
}

QStringList HelpText(int k)
{
    QReadLocker locker(&g_lock);
    return k >= 1 && k <= kHelpTexts ? g_state.helpTexts[k - 1] : QStringList();
}

QString GetCompressTypeName(int type)
{
    const QStringList names = LanguageSectionKeys(kCompressTypeHeader);
    return type >= 0 && type < names.size() ? TrimBlanksStart(names[type]) : QString();
}

QStringList LanguageSectionKeys(const QString& header)
{
    QReadLocker locker(&g_lock);
    return g_state.languageTable.keys(header);
}

bool HasLanguageSection(const QString& header)
{
    QReadLocker locker(&g_lock);
    return g_state.languageTable.find(header) != nullptr;
}

QStringList SectionListEntries(const QString& header, int defaultIndex)
{
    QStringList entries = LanguageSectionKeys(header);
    if (defaultIndex != 0 && entries.size() > 4)
        entries.resize(4);
    for (QString& entry : entries)
        entry = TrimBlanksStart(entry);
    return entries;
}

QStringList CompressTypeNames()
{
    return SectionListEntries(kCompressTypeHeader, 1);
}

QStringList SystemFlagEntries(QString* hint)
{
    const QStringList entries = SectionListEntries(kSystemFlagHeader, 0);
    if (hint)
        *hint = entries.isEmpty() ? QString() : entries.first();
    return entries;
}

IniSectionTable ConfigurationTable()
{
    QReadLocker locker(&g_lock);
    return g_state.configTable;
}

QString DefaultConfigurationText()
{
    QReadLocker locker(&g_lock);
    return g_state.defaultConfigText;
}

QString ConfigurationTableText()
{
    const IniSectionTable table = ConfigurationTable();
    QString text;
    for (const IniSection& section : table.sections()) {
        text += section.header + QStringLiteral("\r\n");
        for (const QString& key : section.keys)
            text += key + QStringLiteral("\r\n");
    }
    return text;
}

void SetConfigurationText(const QString& text)
{
    IniSectionTable table;
    ResetSectionTable(table, kIniTrimBoth);
    BuildSectionTable(table, text);
    QWriteLocker locker(&g_lock);
    g_state.configTable = std::move(table);
}
