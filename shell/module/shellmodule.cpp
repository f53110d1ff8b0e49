// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/module/shellmodule.h"

#include "common/inisection.h"
#include "common/language.h"
#include "common/settings.h"
#include "imaging/binding.h"
#include "imaging/resources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

#include <cstring>
#include <mutex>

namespace {

std::atomic<long> g_moduleCount{0};

// Language files are small; anything far larger is not one.
constexpr qint64 kMaxLanguageFileBytes = 8 * 1024 * 1024;

QString moduleFilePath()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&moduleFilePath), &info) == 0 || !info.dli_fname)
        return QString();
    return QFileInfo(QFile::decodeName(info.dli_fname)).absoluteFilePath();
}

// Creates the folder level by level; errors are left to whoever uses it.
void makeFolder(const QString& path)
{
    if (!path.isEmpty() && !QFileInfo(path).isDir())
        QDir().mkpath(path);
}

void loadStrings(ShellModuleState& s)
{
    QByteArray bytes;
    const QString language = AppSettings().language;
    if (!language.isEmpty()) {
        QFile file(s.languagesFolder + language + QStringLiteral(".INI"));
        const QFileInfo info(file.fileName());
        if (info.exists() && !info.isDir() && info.size() <= kMaxLanguageFileBytes && file.open(QIODevice::ReadOnly))
            bytes = file.readAll();
    }
    if (bytes.isEmpty())
        bytes = UnpackCarriedResource(CarriedResource::DefaultLanguage);
    s.strings = ParseStringTable(bytes);
}

void startModule(ShellModuleState& s)
{
    s.modulePath = moduleFilePath();
    s.moduleFolder = QFileInfo(s.modulePath).absolutePath();
    if (!s.modulePath.isEmpty()) {
        s.mainProgram = s.moduleFolder + QStringLiteral("/Kestrel");
        s.hostProgram = s.moduleFolder + QStringLiteral("/KestrelShell");
        s.languagesFolder = s.moduleFolder + QStringLiteral("/Languages/");
    }
    // The settings file, when there is one (a sandboxed thumbnailer has none
    // and runs on the defaults).
    LoadSettings(s.moduleFolder);
    s.tempFolder = AppSettings().wimTempPath;
    makeFolder(s.tempFolder);
    s.imagingLibraryFromFile = BindImagingLibraries(s.moduleFolder);
    loadStrings(s);
}

} // namespace

ShellModuleState& ShellModule()
{
    static ShellModuleState state;
    static std::once_flag once;
    std::call_once(once, [] { startModule(state); });
    return state;
}

QString ShellString(int n)
{
    return ShellModule().strings.value(n);
}

void ShellModuleAddRef()
{
    g_moduleCount.fetch_add(1);
}

void ShellModuleRelease()
{
    g_moduleCount.fetch_sub(1);
}

long ShellModuleCount()
{
    return g_moduleCount.load();
}

QHash<int, QString> ParseStringTable(const QByteArray& bytes)
{
    IniSectionTable table;
    BuildSectionTable(table, DecodeLanguageText(bytes));
    QHash<int, QString> strings;
    if (const IniSection* section = table.find(u"[String_List]")) {
        for (qsizetype i = 0; i < section->keys.size(); ++i) {
            const int n = IniKeyNumber(section->keys.at(i));
            if (!strings.contains(n))
                strings.insert(n, section->values.at(i));
        }
    }
    return strings;
}

bool SameGuid(const GUID& a, const GUID& b)
{
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

extern "C" {

KSHAPI HRESULT DllCanUnloadNow(void)
{
    return g_moduleCount.load() == 0 ? S_OK : S_FALSE;
}

KSHAPI void KestrelShellSetPickers(const KestrelPickers* pickers)
{
    ShellModuleState& s = ShellModule();
    s.hasPickers = pickers && pickers->pickSaveFile && pickers->pickFolder;
    s.pickers = s.hasPickers ? *pickers : KestrelPickers{};
}

} // extern "C"
