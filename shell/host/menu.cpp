// SPDX-License-Identifier: GPL-3.0-or-later
// The Kestrel menu at the pointer, for file managers whose actions are
// fixed entries, and the two dialogs of the menu's commands. The save dialog
// is the module's own: unlike the program's, it asks before overwriting.
#include "shell/host/shellhost.h"

#include "ui/pickers.h"

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kFirstId = 1;
constexpr uint32_t kLastId = 0x7FFF;

bool copyOut(const QString& path, char* out, uint32_t outSize)
{
    const QByteArray bytes = QFile::encodeName(path);
    if (path.isEmpty() || uint32_t(bytes.size()) >= outSize)
        return false;
    std::memcpy(out, bytes.constData(), size_t(bytes.size()) + 1);
    return true;
}

// Patterns are written as "*.WIM;*.ESD"; names on disk may use either case.
QString nameFilter(const char* name, const char* pattern)
{
    QStringList globs;
    for (const QString& p : QString::fromUtf8(pattern).split(u';', Qt::SkipEmptyParts))
        globs << p << p.toLower();
    return QStringLiteral("%1 (%2)").arg(QString::fromUtf8(name), globs.join(u' '));
}

int pickSaveFile(void*, uintptr_t, const char* start, const char* title, const char* filterName, const char* pattern,
                 const char* proposed, char* out, uint32_t outSize)
{
    QFileDialog dialog(nullptr, QString::fromUtf8(title), QFile::decodeName(start));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(nameFilter(filterName, pattern));
    dialog.setDefaultSuffix(QStringLiteral("WIM"));
    dialog.selectFile(QString::fromUtf8(proposed));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return 0;
    return copyOut(dialog.selectedFiles().constFirst(), out, outSize) ? 1 : 0;
}

int pickFolder(void*, uintptr_t, const char* start, const char* title, const char* newFolderText, char* out,
               uint32_t outSize)
{
    const QString folder =
        PickFolder(nullptr, QString::fromUtf8(title), QString::fromUtf8(newFolderText), QFile::decodeName(start));
    return copyOut(folder, out, outSize) ? 1 : 0;
}

} // namespace

int RunMenu(int argc, char** argv, bool pickOnly)
{
    const int pathArg = pickOnly ? 3 : 2;
    if (argc != pathArg + 1) {
        std::fprintf(stderr, "usage: KestrelShell --menu PATH\n");
        return 2;
    }
    const int wanted = pickOnly ? std::atoi(argv[2]) : 0;
    QApplication app(argc, argv);
    const KestrelPickers pickers{pickSaveFile, pickFolder, nullptr};
    KestrelShellSetPickers(&pickers);

    const IID initIid = IID_ISHELLEXTINIT_INIT;
    const IID menuIid = IID_ICONTEXTMENU_INIT;
    auto* init = static_cast<IShellExtInit*>(CreateShellObject(initIid));
    if (!init)
        return 1;
    IContextMenu* context = nullptr;
    KestrelMenu* menu = KestrelMenuCreate();
    const char* paths[] = {argv[pathArg]};
    const KestrelDataObject data{1, paths};
    int result = 1;
    if (menu && init->lpVtbl->Initialize(init, nullptr, &data, nullptr) == S_OK &&
        init->lpVtbl->QueryInterface(init, &menuIid, reinterpret_cast<void**>(&context)) == S_OK &&
        context->lpVtbl->QueryContextMenu(context, menu, 0, kFirstId, kLastId, 0) > 0) {
        // The popup item holds the module's submenu.
        const KestrelMenu* items = nullptr;
        for (int i = 0; i < KestrelMenuCount(menu); ++i) {
            KestrelMenuItem item{};
            if (KestrelMenuItemAt(menu, i, &item) && item.submenu)
                items = item.submenu;
        }
        int chosen = -1;
        if (pickOnly) {
            for (int i = 0; i < KestrelMenuCount(items); ++i) {
                KestrelMenuItem item{};
                if (KestrelMenuItemAt(items, i, &item) && item.stringNumber == wanted &&
                    !(item.flags & KMF_DISABLED))
                    chosen = int(item.id - kFirstId);
            }
        } else {
            QMenu popup;
            for (int i = 0; i < KestrelMenuCount(items); ++i) {
                KestrelMenuItem item{};
                if (!KestrelMenuItemAt(items, i, &item) || !item.text)
                    continue;
                QAction* action = popup.addAction(QString::fromUtf8(item.text));
                action->setEnabled(!(item.flags & (KMF_GRAYED | KMF_DISABLED)));
                action->setData(int(item.id - kFirstId));
            }
            if (QAction* action = popup.exec(QCursor::pos()))
                chosen = action->data().toInt();
        }
        result = 0;
        if (chosen >= 0) {
            KestrelInvokeCommandInfo info{};
            info.cbSize = sizeof info;
            info.lpVerb = KESTREL_MAKEINTVERB(chosen);
            context->lpVtbl->InvokeCommand(context, &info);
        } else if (pickOnly) {
            result = 1;
        }
    }
    if (context)
        context->lpVtbl->Release(context);
    init->lpVtbl->Release(init);
    KestrelMenuDestroy(menu);
    KestrelShellSetPickers(nullptr);
    return result;
}
