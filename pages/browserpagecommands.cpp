// SPDX-License-Identifier: GPL-3.0-or-later
// The browser page's commands: the row menu, extracting, adding, deleting,
// renaming and optimising, drops onto the list and dragging rows out.
#include "pages/browserpage.h"

#include "common/desktop.h"
#include "imaging/mountlist.h"
#include "pages/browserpageview.h"
#include "pages/core/browsercommands.h"
#include "pages/pagetext.h"
#include "ui/drawing.h"
#include "ui/pickers.h"
#include "ui/sharedcontrols.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDateTime>
#include <QDir>
#include <QDrag>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>

namespace {

const QString kFileManager = QStringLiteral("org.freedesktop.FileManager1");

// Whether a file manager answers the properties call on the session bus.
bool PropertiesAvailable()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    QDBusConnectionInterface* iface = bus.interface();
    return iface->isServiceRegistered(kFileManager).value()
        || iface->activatableServiceNames().value().contains(kFileManager);
}

void ShowProperties(const QString& path)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kFileManager, QStringLiteral("/org/freedesktop/FileManager1"),
                                                       kFileManager, QStringLiteral("ShowItemProperties"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    QDBusConnection::sessionBus().asyncCall(call);
}

} // namespace

void BrowserPage::runTask(const WIMLIBTASK& task, bool inDialog, std::function<void(bool ok)> then)
{
    if (m_busy)
        return;
    CancelRename();
    // A set with a part missing would fail only on the first file stored in
    // it, with wimlib's words; the part is named before anything starts.
    if (const QString missing = MissingSplitPart(task); !missing.isEmpty()) {
        QMessageBox::warning(this, task.Title, L(111) + QStringLiteral("\r\n") + QDir::toNativeSeparators(missing));
        if (then)
            then(false);
        return;
    }
    // A change is written through a handle of its own: the page's loaded
    // image is let go first, on the worker.
    if (task.Kind >= kWimlibAddImage && m_reader->isOpen()) {
        runWork([reader = m_reader] { reader->close(); },
                [this, task, inDialog, then = std::move(then)] { runTask(task, inDialog, then); });
        return;
    }
    if (inDialog) {
        WIMLIBTASK t = task;
        const bool ok = RunWimlibTask(this, t) == 0;
        if (then)
            then(ok);
        return;
    }
    auto shared = std::make_shared<WIMLIBTASK>(task);
    runWork(
        [shared] {
            TASKCONTEXT display;
            RunWimlibTaskOperation(*shared, display);
        },
        [this, shared, then = std::move(then)] {
            bool ok = shared->Result == 0;
            if (!ok) {
                // Once more in the dialog, which shows why it fails.
                WIMLIBTASK again = *shared;
                ok = RunWimlibTask(this, again) == 0;
            }
            if (then)
                then(ok);
        });
}

QMenu* BrowserPage::buildRowMenu(int row)
{
    const BrowserRow* r = m_model->rowAt(row);
    if (!r || (row == 0 && r->name == QLatin1String("..") && !(m_viewMode == 0 && m_folderDepth == 0)))
        return nullptr;
    auto* menu = new QMenu(this);
    auto add = [menu](int command, int text, bool enabled) {
        QAction* action = menu->addAction(L(text));
        action->setData(command);
        action->setEnabled(enabled);
    };
    if (m_viewMode == 0) {
        const QString path = m_folderDepth == 0 ? r->path : m_currentFolder + r->name;
        const bool imageFile = r->kind == kRowImageFile;
        add(kCmdExtractOrOpen, 311, !imageFile);
        add(kCmdAddOrProperties, 312, PropertiesAvailable());
        add(kCmdDeleteOrOptimise, 350, imageFile && CanOptimise(path, GetMountedImages()));
    } else {
        add(kCmdExtractOrOpen, 308, true);
        add(kCmdAddOrProperties, 309, true);
        add(kCmdDeleteOrOptimise, 310, true);
        add(kCmdRename, 349, true);
    }
    return menu;
}

void BrowserPage::showRowMenu(const QPoint& pos)
{
    const QModelIndex index = m_view->indexAt(pos);
    if (!index.isValid() || m_busy)
        return;
    std::unique_ptr<QMenu> menu(buildRowMenu(index.row()));
    if (!menu)
        return;
    selectRow(index.row());
    QAction* chosen = menu->exec(m_view->viewport()->mapToGlobal(pos));
    if (chosen)
        OnCommand(chosen->data().toInt());
}

void BrowserPage::OnCommand(int command)
{
    const BrowserRow* r = m_model->rowAt(m_selectedRow);
    if (!r || m_busy)
        return;
    const BrowserRow row = *r;
    if (m_viewMode == 0) {
        if (command == kCmdExtractOrOpen && QFileInfo::exists(m_selectedPath))
            openInShell(m_selectedPath);
        else if (command == kCmdAddOrProperties)
            ShowProperties(m_selectedPath);
        else if (command == kCmdDeleteOrOptimise)
            OptimiseImageFile();
        return;
    }
    switch (command) {
    case kCmdExtractOrOpen: {
        const QString folder = PickFolder(this, L(322), L(345));
        if (folder.isEmpty())
            return;
        if (m_viewMode == 1)
            ExtractImage(folder);
        else
            ExtractItem(row.name, folder, row.kind);
        return;
    }
    case kCmdAddOrProperties: {
        const QString path = m_viewMode == 1 ? PickFolder(this, L(324)) : PickFileOrFolder(this);
        if (path.isEmpty())
            return;
        if (m_viewMode == 1)
            AddImageFromFolder(path);
        else
            AddItem(path);
        return;
    }
    case kCmdDeleteOrOptimise:
        DeleteSelected();
        return;
    case kCmdRename:
        StartRename();
        return;
    default:
        return;
    }
}

void BrowserPage::ExtractImage(const QString& folder)
{
    if (m_viewMode != 1 || !m_model->rowAt(m_selectedRow) || m_selectedRow < 1)
        return;
    const WIMLIBTASK task = ExtractImageTask(imageFilePath(), uint32_t(m_selectedRow), folder);
    runTask(task, true, [this, target = task.TargetPath](bool ok) {
        if (ok && m_openWhenDone->isChecked())
            OpenFolderInShell(target);
    });
}

void BrowserPage::ExtractItem(const QString& name, const QString& folder, int kind)
{
    if (m_viewMode < 2)
        return;
    const int row = m_model->findRow(name);
    const uint64_t size = row > 0 ? m_model->rowAt(row)->size : 0;
    const WIMLIBTASK task = ExtractItemTask(imageFilePath(), m_selectedImage, m_imageDirPath, name, folder);
    const QString opened = ExtractedItemFolder(folder, m_imageDirPath, name, kind);
    runTask(task, ExtractRunsInDialog(kind, size), [this, opened](bool ok) {
        if (ok && m_openWhenDone->isChecked())
            OpenFolderInShell(opened);
    });
}

void BrowserPage::AddImageFromFolder(const QString& folder)
{
    if (m_viewMode != 1)
        return;
    runTask(AddImageTask(imageFilePath(), folder), true, [this](bool ok) {
        if (!ok)
            return;
        const QString file = imageFilePath();
        listWith([file] { return ListImages(file); }, [this] { selectRow(m_model->realRowCount() - 1); });
    });
}

void BrowserPage::AddItem(const QString& path)
{
    if (m_viewMode < 2)
        return;
    if (IsWholePartition(path)) {
        ShowToast(this, L(342), 3000);
        return;
    }
    const QString name = LastPathComponent(path);
    runTask(AddItemTask(imageFilePath(), m_selectedImage, m_imageDirPath, path), true, [this, name](bool ok) {
        if (!ok)
            return;
        relistImageDirectory([this, name] { selectRow(std::max(0, m_model->findRow(name))); });
    });
}

void BrowserPage::DeleteSelected()
{
    const int row = m_selectedRow;
    const BrowserRow* r = m_model->rowAt(row);
    if (m_viewMode < 1 || row < 1 || !r || m_busy)
        return;
    const QString text = L(m_viewMode == 1 ? 329 : 332) + QStringLiteral("\r\n") + L(330);
    if (QMessageBox::question(this, L(331), text, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    const WIMLIBTASK task = m_viewMode == 1 ? DeleteImageTask(imageFilePath(), uint32_t(row))
                                            : DeletePathTask(imageFilePath(), m_selectedImage, m_imageDirPath, r->name);
    runTask(task, true, [this, row](bool ok) {
        if (!ok)
            return;
        auto reselect = [this, row] { selectRow(SelectionAfterDelete(row, m_model->realRowCount())); };
        if (m_viewMode == 1) {
            const QString file = imageFilePath();
            listWith([file] { return ListImages(file); }, reselect);
        } else {
            relistImageDirectory(reselect);
        }
    });
}

void BrowserPage::OptimiseImageFile()
{
    const QString path = m_selectedPath;
    const int row = m_selectedRow;
    if (m_viewMode != 0 || !QFileInfo(path).isFile() || !CanOptimise(path, GetMountedImages()))
        return;
    runTask(OptimiseTask(path, m_recompress->isChecked()), true, [this, path, row](bool ok) {
        if (!ok)
            return;
        if (const BrowserRow* r = m_model->rowAt(row); r && m_currentFolder + r->name == path) {
            BrowserRow updated = *r;
            const QFileInfo info(path);
            updated.size = uint64_t(info.size());
            updated.created = ToFileTime(info.birthTime());
            updated.modified = ToFileTime(info.lastModified());
            m_model->updateRow(row, updated);
        }
        if (m_openWhenDone->isChecked())
            OpenFolderInShell(QFileInfo(path).absolutePath());
    });
}

void BrowserPage::StartRename()
{
    const int row = m_selectedRow;
    const BrowserRow* r = m_model->rowAt(row);
    if (m_viewMode < 1 || row < 1 || !r || m_busy)
        return;
    const QModelIndex index = m_model->index(row, BrowserModel::kColName);
    m_view->scrollTo(index);
    const QRect cell = m_view->visualRect(index);
    if (!cell.isValid() || !m_view->viewport()->rect().intersects(cell))
        return;
    m_renameRow = row;
    m_renameFrom = RenameStartText(m_viewMode == 1, r->name);
    m_renameEdit->setText(m_renameFrom);
    m_renameEdit->setGeometry(cell);
    const qsizetype dot = m_renameFrom.lastIndexOf(u'.');
    if (r->kind == kRowFolder || dot <= 0)
        m_renameEdit->selectAll();
    else
        m_renameEdit->setSelection(0, int(dot));
    m_renameEdit->show();
    m_renameEdit->setFocus();
}

void BrowserPage::CancelRename()
{
    if (!m_renameEdit || !m_renameEdit->isVisible())
        return;
    m_renameEdit->hide();
    m_renameRow = -1;
    m_view->setFocus();
}

void BrowserPage::CommitRename()
{
    if (!m_renameEdit->isVisible())
        return;
    const QString text = m_renameEdit->text();
    const int row = m_renameRow;
    m_renameEdit->hide();
    m_renameRow = -1;
    m_view->setFocus();
    const BrowserRow* r = m_model->rowAt(row);
    if (!r || text == m_renameFrom)
        return;
    const bool imageList = m_viewMode == 1;
    const QString file = imageFilePath();
    const uint32_t image = imageList ? uint32_t(row) : m_selectedImage;
    const QString dir = m_imageDirPath;
    const QString oldName = r->name;
    auto result = std::make_shared<int>(-1);
    // Quick, but it writes the file: on the worker like every change.
    runWork(
        [=, reader = m_reader] {
            reader->close();
            *result = imageList ? RenameImage(file, image, text) : RenameImagePath(file, image, dir, oldName, text);
        },
        [this, result, row, imageList, image, oldName, text] {
            const BrowserRow* current = m_model->rowAt(row);
            if (*result != 0 || !current || current->name != oldName)
                return; // a failed rename leaves the row as it was
            BrowserRow updated = *current;
            updated.name = imageList ? ImageRowName(image, text) : text;
            if (!imageList && updated.kind != kRowFolder)
                updated.kind = IsImageFileName(text) ? kRowImageFile : kRowFile;
            m_model->updateRow(row, updated);
        });
}

bool BrowserPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_renameEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            CommitRename();
            return true;
        }
        if (key == Qt::Key_Escape) {
            CancelRename();
            return true;
        }
    }
    return KestrelPage::eventFilter(watched, event);
}

void BrowserPage::dropFile(const QString& path, const QPoint& pos)
{
    OnDropFiles(path, pos);
}

void BrowserPage::OnDropFiles(const QString& path, const QPoint& pos)
{
    if (m_viewMode == 0 || m_busy)
        return;
    const QRect rows(m_view->viewport()->mapTo(this, QPoint(0, 0)), m_view->viewport()->size());
    if (!rows.contains(pos))
        return;
    if (m_viewMode == 1) {
        if (QFileInfo(path).isDir())
            AddImageFromFolder(path);
        else
            ShowToast(this, L(343), 2000);
        return;
    }
    AddItem(path);
}

void BrowserPage::prepareDragOut(int row, std::function<void(QMimeData*)> ready)
{
    const BrowserRow* r = m_model->rowAt(row);
    if (m_viewMode < 1 || row < 1 || !r || m_busy) {
        ready(nullptr);
        return;
    }
    const QString folder = NewDragFolder();
    if (folder.isEmpty()) {
        ready(nullptr);
        return;
    }
    WIMLIBTASK task;
    QString extracted;
    bool inDialog = true;
    if (m_viewMode == 1) {
        task = ExtractImageTask(imageFilePath(), uint32_t(row), folder);
        extracted = task.TargetPath;
    } else {
        task = ExtractItemTask(imageFilePath(), m_selectedImage, m_imageDirPath, r->name, folder, true);
        extracted = folder + u'/' + r->name;
        inDialog = ExtractRunsInDialog(r->kind, r->size);
    }
    runTask(task, inDialog, [extracted, ready = std::move(ready)](bool ok) {
        if (!ok || !QFileInfo::exists(extracted)) {
            ready(nullptr);
            return;
        }
        auto* mime = new QMimeData;
        mime->setUrls({QUrl::fromLocalFile(extracted)});
        ready(mime);
    });
}

void BrowserPage::startDragOut(int row)
{
    if (m_viewMode < 1)
        return;
    const QIcon icon = m_model->data(m_model->index(row, BrowserModel::kColName), Qt::DecorationRole).value<QIcon>();
    prepareDragOut(row, [this, icon](QMimeData* mime) {
        if (!mime)
            return;
        // After a long extraction in the dialog the button may be up: the
        // drag would end at once, so it starts only while it is held.
        if (!(QGuiApplication::mouseButtons() & Qt::LeftButton)) {
            delete mime;
            return;
        }
        auto* drag = new QDrag(m_view);
        drag->setMimeData(mime);
        if (!icon.isNull())
            drag->setPixmap(icon.pixmap(32, 32));
        drag->exec(Qt::CopyAction);
    });
}
