// SPDX-License-Identifier: GPL-3.0-or-later
// The first page of the main window: mounting images of a file into empty
// folders, the list of every image mounted on the machine, unmounting with
// or without committing, and applying an image into a folder.
#pragma once

#include "imaging/taskwindow.h"
#include "metadata/imagefileinfo.h"
#include "pages/core/applyworker.h"
#include "imaging/mountlist.h"
#include "ui/pageframework.h"
#include "ui/progressrow.h"

#include <QSpinBox>
#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The image number box: its arrows run over 0 .. count + 1 and the page
// wraps both ends around; an empty text stands for 0.
class ImageNumberSpin : public QSpinBox {
    Q_OBJECT
public:
    using QSpinBox::QSpinBox;
    QValidator::State validate(QString& text, int& pos) const override;
    int valueFromText(const QString& text) const override;
    void fixup(QString& text) const override;
    // Shows the number even when the value stays the same (an emptied box
    // that already stood at the last image).
    void showNumber(int n);
};

class MountPage : public KestrelPage {
    Q_OBJECT
public:
    // Columns of the mounted-images list. The lock mark is a column of
    // check boxes of its own, so that every row, not only the first five
    // visible ones, shows and flips its mark.
    enum Column : int { kColLock = 0, kColImageFile, kColMountPath, kColIndex, kColReadWrite, kColumnCount };

    explicit MountPage(QWidget* parent = nullptr);
    ~MountPage() override;

    void retext() override;
    void setImageFile(const QString& path) override;
    void setDirectory(const QString& path) override;
    void pageShown() override;

    // The actions behind the buttons, the list and its header.
    void mountImage();
    void unmountFromButton();
    void refreshList();
    // The first listing of the machine's mounts, without log lines.
    void listMounts();
    void unmountAllUnlocked();
    void applyImage();
    void stopApply();
    void rowDoubleClicked(QTreeWidgetItem* item, int column);

    // Row of a mount folder, or null.
    QTreeWidgetItem* findRow(const QString& folder) const;
    bool isRowLocked(const QTreeWidgetItem* item) const;

    bool isApplying() const;
    // True while any operation of the page runs on the worker (mount,
    // unmount, refresh, apply).
    bool isBusy() const { return m_applyRunning || m_mountBusy; }
    const WIMFILEINFO& fileInfo() const { return m_fileInfo; }

protected:
    void dropFile(const QString& path, const QPoint& pos) override;

private:
    void buildControls();
    void connectControls();
    void updateButtons();
    void imageFileChanged();
    void imageNumberChanged();
    void showDetails(uint32_t index);
    void releaseImageInfo();

    // The information box: the help text makes way for the log the first
    // time an action writes; `clearIfAsked` also empties it when
    // "任务前清空信息" is checked.
    void showInfoBox(bool clearIfAsked);
    void clearInfoBox();

    void addRow(const MountEntry& entry);
    void removeRow(const QString& folder);
    void dropRow(QTreeWidgetItem* item);
    // Unmounts the mount of `folder` on the worker; `ask` puts the commit
    // question for a read-write mount, else nothing is committed.
    void unmountFolder(const QString& folder, bool ask);
    // The commit question of a read-write mount: Yes commits, No discards,
    // anything else (Cancel) gives nothing. `text` is its first line.
    std::optional<bool> askCommit(int firstLine);
    uint32_t imageNumber() const;
    void openFolder(const QString& folder);

    // Runs a mount step on the worker: the page is locked and shows `step`
    // beside a busy bar (and in the log with `logStep`) until `done` has run
    // on the GUI thread. False when another operation runs.
    // The sink through which a committing unmount on the worker moves the bar.
    std::function<void(int)> commitProgress(TASKCONTEXT& ctx);
    bool runMountWork(const QString& step, bool logStep, std::function<void()> work, std::function<void()> done);
    void showBusy(const QString& step);
    // The progress display as a new task starts: 0%, prefixes only.
    void resetProgress();

    void setApplyRunning(bool running);
    void setProgressVisible(bool visible);
    void setupTask();

    // Controls.
    QGroupBox* m_fileGroup = nullptr;
    QGroupBox* m_folderGroup = nullptr;
    QGroupBox* m_listGroup = nullptr;
    QGroupBox* m_options1Group = nullptr;
    QGroupBox* m_options2Group = nullptr;
    QGroupBox* m_infoGroup = nullptr;
    QLineEdit* m_fileEdit = nullptr;
    QLineEdit* m_folderEdit = nullptr;
    QPushButton* m_fileBrowse = nullptr;
    QPushButton* m_folderBrowse = nullptr;
    QLabel* m_indexLabel = nullptr;
    ImageNumberSpin* m_indexSpin = nullptr;
    QPushButton* m_mountButton = nullptr;
    QPushButton* m_unmountButton = nullptr;
    QPushButton* m_refreshButton = nullptr;
    QPushButton* m_applyButton = nullptr;
    QPushButton* m_configButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    QTreeWidget* m_list = nullptr;
    QCheckBox* m_cleanInvalid = nullptr;  // 66
    QCheckBox* m_dblOpenDir = nullptr;    // 67
    QCheckBox* m_dblUnmount = nullptr;    // 68
    QCheckBox* m_dblHeaderAll = nullptr;  // 69
    QCheckBox* m_clearSecurity = nullptr; // 70
    QCheckBox* m_clearHint = nullptr;     // 71
    QCheckBox* m_readWrite = nullptr;     // 72
    QCheckBox* m_openWhenDone = nullptr;  // 73
    QCheckBox* m_noConfig = nullptr;      // 74
    QLabel* m_componentLine = nullptr;
    TaskProgressRow m_progressRow;

    // The file in the file box.
    WIMFILEINFO m_fileInfo;
    std::vector<WIMIMAGEINFO> m_images;
    bool m_imageInfoLoaded = false;
    bool m_numberGuard = false;

    std::vector<MountEntry> m_snapshot;
    bool m_infoShown = false;
    bool m_applyRunning = false; // from a started apply until its end reached the page
    bool m_mountBusy = false;    // a mount, unmount or refresh runs on the worker
    bool m_listed = false;       // the first listing has been started
    bool m_readWriteWish = false; // what the user chose for "可读写方式挂载"
    bool m_readWriteGuard = false;

    // The apply operation and the windows its worker posts to.
    OperationTask m_task;
    FunctionTaskWindow m_infoWindow;
};
