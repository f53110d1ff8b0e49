// SPDX-License-Identifier: GPL-3.0-or-later
// Tab 7: the settings of the program (folders, option boxes, compression),
// cleaning the two work folders, the file association and the shell
// extensions. The lower part shows the page's help text while it is idle and
// the step log once a command ran.
#pragma once

#include "common/settings.h"
#include "ui/pageframework.h"

#include <QPointer>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QThread;
struct FolderCleanResult;

class SettingsPage : public KestrelPage {
    Q_OBJECT
public:
    explicit SettingsPage(QWidget* parent = nullptr);
    ~SettingsPage() override;

    void retext() override;

    // Which folder a clean empties.
    enum class WorkFolder { MountBase, Temporary };

    // The commands of the buttons, callable without a click. cleanFolder()
    // asks first (`ask` false skips the question) and runs on a worker; it
    // returns whether the clean started.
    void saveSettings();
    void restoreSettings();
    bool cleanFolder(WorkFolder which, bool ask = true);
    bool isCleaning() const { return m_cleaner != nullptr; }

    // The page's values as the controls hold them now.
    Settings valuesFromControls() const;

    // The help text box is shown while the page is idle, the log box once a
    // command started; exactly one of them is visible.
    bool logShown() const;

    // Whether the register and unregister buttons serve this system: this
    // build's width against the system's (uname).
    static bool ExtensionButtonsUsable();

signals:
    // A clean ended (its result is in the log).
    void cleanFinished();

protected:
    void dropFile(const QString& path, const QPoint& pos) override;

private:
    void buildControls();
    void connectControls();
    void loadControls(const Settings& s);
    // Shows the log box, empties it when the clear box asks, and adds an
    // empty line.
    void startCommand();
    void mirrorToOtherPages(const Settings& s);
    void browseFolder(WorkFolder which);
    void cleanDone(WorkFolder which, const FolderCleanResult& result);
    // The four buttons of the file association and the shell extensions
    // (0 set association, 1 remove it, 2 register, 3 unregister).
    void runShellButton(int which);

    QGroupBox* m_folderGroup = nullptr;
    QLabel* m_mountLabel = nullptr;
    QLineEdit* m_mountEdit = nullptr;
    QPushButton* m_mountBrowse = nullptr;
    QPushButton* m_mountClean = nullptr;
    QLabel* m_tempLabel = nullptr;
    QLineEdit* m_tempEdit = nullptr;
    QPushButton* m_tempBrowse = nullptr;
    QPushButton* m_tempClean = nullptr;

    QGroupBox* m_optionGroup = nullptr;
    QCheckBox* m_clearHint = nullptr;        // 244
    QCheckBox* m_dblOpenDir = nullptr;       // 67
    QCheckBox* m_unMountAutoRun = nullptr;   // 87
    QCheckBox* m_dblUnmountImage = nullptr;  // 68
    QCheckBox* m_dblUnmountAll = nullptr;    // 69
    QCheckBox* m_autoOpenPath = nullptr;     // 245
    QLabel* m_compressLabel = nullptr;       // 96
    QComboBox* m_compression = nullptr;

    QPushButton* m_associate = nullptr;      // 233
    QPushButton* m_unassociate = nullptr;    // 234
    QPushButton* m_register = nullptr;       // 242
    QPushButton* m_unregister = nullptr;     // 241
    QPushButton* m_defaults = nullptr;       // 240
    QPushButton* m_save = nullptr;           // 239

    QGroupBox* m_messageGroup = nullptr;     // 65
    QStackedWidget* m_messageStack = nullptr;
    QPlainTextEdit* m_helpBox = nullptr;

    QThread* m_cleaner = nullptr;
};
