// SPDX-License-Identifier: GPL-3.0-or-later
// The image browser page (tab 4): one list that shows the machine's drives
// and folders, the images of an image file, or the inside of an image; the
// row menu's commands (extract, add, delete, rename, optimise, open,
// properties), drops onto the list and dragging rows out to a file manager.
// Listings and quick changes run on the process's worker; long wimlib work
// runs in the wimlib progress dialog.
#pragma once

#include "imaging/taskwimlib.h"
#include "pages/core/browsermodel.h"
#include "pages/core/operationtask.h"
#include "ui/pageframework.h"

#include <QHash>
#include <QIcon>
#include <QTimer>
#include <functional>
#include <memory>

class BrowserPageView;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QProgressBar;
class QToolButton;

class BrowserPage : public KestrelPage {
    Q_OBJECT
public:
    // Row menu commands.
    enum Command : int { kCmdExtractOrOpen = 0, kCmdAddOrProperties = 1, kCmdDeleteOrOptimise = 2, kCmdRename = 3 };

    explicit BrowserPage(QWidget* parent = nullptr);
    ~BrowserPage() override;

    void retext() override;
    void pageShown() override;

    // The listings; each runs on the worker and fills the list in one pass.
    void ShowDriveList();
    void ShowFolder();
    // `path` is the image file's path followed by "/".
    void OpenImageFile(const QString& path);
    void ShowImageDirectory();

    void OpenRow(int row);
    void GoBack();

    // The row menu of a real row (null for none); the caller owns it. Its
    // actions carry the command number as data.
    QMenu* buildRowMenu(int row);
    void OnCommand(int command);
    void ExtractImage(const QString& folder);
    void ExtractItem(const QString& name, const QString& folder, int kind);
    void AddImageFromFolder(const QString& folder);
    void AddItem(const QString& path);
    void DeleteSelected();
    void OptimiseImageFile();
    void StartRename();
    void CommitRename();
    void CancelRename();
    // A path dropped at `pos` (page coordinates).
    void OnDropFiles(const QString& path, const QPoint& pos);
    // Extracts row `row` of an image view into a fresh temporary folder and
    // hands `ready` the drag data ("text/uri-list"), or null on failure.
    void prepareDragOut(int row, std::function<void(QMimeData*)> ready);

    void selectRow(int row);

    // State, for the tests.
    int viewMode() const { return m_viewMode; }
    int folderDepth() const { return m_folderDepth; }
    const QString& currentFolder() const { return m_currentFolder; }
    const QString& imageDirPath() const { return m_imageDirPath; }
    uint32_t selectedImage() const { return m_selectedImage; }
    int selectedRow() const { return m_selectedRow; }
    const QString& selectedPath() const { return m_selectedPath; }
    bool isBusy() const { return m_busy; }
    BrowserModel* model() const { return m_model; }
    BrowserPageView* view() const { return m_view; }
    QLineEdit* renameEdit() const { return m_renameEdit; }
    QToolButton* backButton() const { return m_back; }

protected:
    void dropFile(const QString& path, const QPoint& pos) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void connectControls();
    void fitColumns();
    void updateFillRows();
    void updateLabels();
    void selectionMoved(const QModelIndex& current);
    void showRowMenu(const QPoint& pos);
    void startDragOut(int row);
    QVariant rowIcon(const BrowserRow& row);
    QIcon themeIcon(const QString& name, int fallback);
    QString imageFilePath() const;
    void openInShell(const QString& path);

    // Runs `work` on the worker; `done` runs on the GUI thread afterwards.
    // False when something else still runs.
    bool runWork(std::function<void()> work, std::function<void()> done);
    // Lists with `make` on the worker and shows the result; `after` then runs.
    void listWith(std::function<BrowserListing()> make, std::function<void()> after = {});
    void relistImageDirectory(std::function<void()> after);
    // A wimlib task in the progress dialog, or (`inDialog` false) at once on
    // the worker, the dialog then only reporting a failure. `then` gets
    // whether it succeeded.
    void runTask(const WIMLIBTASK& task, bool inDialog, std::function<void(bool ok)> then);

    BrowserModel* m_model = nullptr;
    BrowserPageView* m_view = nullptr;
    QToolButton* m_back = nullptr;
    QLabel* m_pathLabel = nullptr;
    QLabel* m_fileLabel = nullptr;
    QLabel* m_dirLabel = nullptr;
    QProgressBar* m_busyBar = nullptr;
    QCheckBox* m_ownIcons = nullptr;      // 319
    QCheckBox* m_openOnDouble = nullptr;  // 320
    QCheckBox* m_recompress = nullptr;    // 340
    QCheckBox* m_openWhenDone = nullptr;  // 341
    QLineEdit* m_renameEdit = nullptr;
    QTimer m_busyTimer;
    QHash<QString, QIcon> m_icons;

    // The page state: see the listings and OpenRow / GoBack.
    int m_viewMode = 0;       // 0 disk, 1 image list, n >= 2 inside an image
    int m_folderDepth = 0;    // 0 the drive list
    QString m_currentFolder;  // ends in "/"; in the image views the file + "/"
    QString m_imageDirPath;   // "" or "\a\b"
    uint32_t m_selectedImage = 0;
    int m_selectedRow = -1;
    QString m_selectedPath;
    int m_renameRow = -1;
    QString m_renameFrom;
    bool m_busy = false;
    bool m_listed = false;

    OperationTask m_task; // the worker's record: its poster is this page
    // The image being browsed stays loaded while the user walks through it;
    // used on the worker only.
    std::shared_ptr<ImageDirectoryReader> m_reader = std::make_shared<ImageDirectoryReader>();
};
