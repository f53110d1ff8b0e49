// SPDX-License-Identifier: GPL-3.0-or-later
// The mount settings page: edits the mount settings an image file keeps in
// its own metadata, which a double-click on the file uses.
#pragma once

#include "imaging/taskwindow.h"
#include "metadata/imagefileinfo.h"
#include "metadata/mountsettings.h"
#include "pages/core/operationtask.h"
#include "ui/pageframework.h"

#include <vector>

class ImageNumberSpin;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class MountSettingsPage : public KestrelPage {
    Q_OBJECT
public:
    explicit MountSettingsPage(QWidget* parent = nullptr);
    ~MountSettingsPage() override;

    void retext() override;
    void setImageFile(const QString& path) override;

    // The file box changed: read the file's settings and information.
    void LoadMountSettingsPage(const QString& path);
    // The two buttons.
    void ApplyMountSettings(const QString& path);
    void ClearMountSettingsOfFile(const QString& path);

    const MOUNTSETTINGS& storedSettings() const { return m_stored; }
    bool isEditable() const { return m_editable; }

protected:
    void dropFile(const QString& path, const QPoint& pos) override;

private:
    void buildControls();
    void connectControls();
    void imageNumberChanged();
    void autoUnmountClicked();
    void readWriteClicked();
    void updateApply();
    MOUNTSETTINGS editedSettings() const;
    uint32_t imageNumber() const;
    void showImage(uint32_t index);
    void showInfoBox(bool clearIfAsked);

    QGroupBox* m_fileGroup = nullptr;
    QGroupBox* m_settingsGroup = nullptr;
    QGroupBox* m_optionsGroup = nullptr;
    QGroupBox* m_infoGroup = nullptr;
    QLineEdit* m_fileEdit = nullptr;
    QPushButton* m_fileBrowse = nullptr;
    QCheckBox* m_readWrite = nullptr;   // 182
    QCheckBox* m_autoUnmount = nullptr; // 183
    QCheckBox* m_commit = nullptr;      // 184
    QCheckBox* m_clearDir = nullptr;    // 185
    QLabel* m_folderLabel = nullptr;
    QLineEdit* m_folderEdit = nullptr;
    QPushButton* m_folderBrowse = nullptr;
    QLabel* m_mountCmdLabel = nullptr;
    QLineEdit* m_mountCmdEdit = nullptr;
    QLabel* m_unmountCmdLabel = nullptr;
    QLineEdit* m_unmountCmdEdit = nullptr;
    QLabel* m_indexLabel = nullptr;
    ImageNumberSpin* m_indexSpin = nullptr;
    QLabel* m_nameLabel = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QLabel* m_descriptionLabel = nullptr;
    QLineEdit* m_descriptionEdit = nullptr;
    QCheckBox* m_clearHint = nullptr; // 99
    QPushButton* m_clearButton = nullptr;
    QPushButton* m_applyButton = nullptr;

    MOUNTSETTINGS m_stored;
    bool m_editable = false;
    bool m_rememberedClearDir = false;
    WIMFILEINFO m_fileInfo;
    std::vector<WIMIMAGEINFO> m_images;
    bool m_imageInfoLoaded = false;
    bool m_loading = false;
    bool m_infoShown = false;

    OperationTask m_task;
    FunctionTaskWindow m_infoWindow;
};
