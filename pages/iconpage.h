// SPDX-License-Identifier: GPL-3.0-or-later
// The image icon page: takes an icon from a program, icon, SVG or picture
// file, writes it into an image file's metadata (where the file manager
// integration finds it), deletes it, saves it as an ICO file and rebuilds
// the thumbnail cache.
#pragma once

#include "imaging/taskwindow.h"
#include "metadata/imagefileinfo.h"
#include "pages/core/iconpagelogic.h"
#include "pages/core/iconpagetask.h"
#include "ui/pageframework.h"

#include <functional>

class IconPreview;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

class IconPage : public KestrelPage {
    Q_OBJECT
public:
    explicit IconPage(QWidget* parent = nullptr);
    ~IconPage() override;

    void retext() override;
    void setImageFile(const QString& path) override;
    void setIconSource(const QString& path);

    // The image-file and icon-source boxes changed.
    void imageFileChanged(const QString& path);
    void iconSourceChanged(const QString& path);
    // LoadIconSource / ClearIconList: the list of the source's icons;
    // `tooLarge` tells whether the file was a picture above 512 pixels.
    bool LoadIconSource(const QString& path, bool* tooLarge = nullptr);
    void ClearIconList();
    // A cell of the icon list clicked (row from 0, column 0 the row number).
    void selectCell(int row, int column);

    // The four buttons. Write and delete run RunIconTask on the worker.
    void writeIcon();
    void deleteIcon();
    void saveIconFile();
    void rebuildIconCache();

    // Where saveIconFile() asks for the path (the save picker by default).
    void setSavePathPicker(std::function<QString()> pick) { m_pickSavePath = std::move(pick); }

    int selectedIndex() const { return m_selected; }
    int iconCount() const { return m_source.count(); }
    int selectedSize() const;
    bool isBusy() const { return m_running; }
    // What the two previews show: the chosen icon after its ICO round trip,
    // and the icon the image file stores.
    QImage chosenPreview() const;
    const IMAGEICON& storedIcon() const { return m_stored; }

protected:
    void dropFile(const QString& path, const QPoint& pos) override;

private:
    void buildControls();
    void connectControls();
    void fillIconList();
    void updateListTitle();
    void updateChosenPreview();
    void updateStoredPreview();
    void updateButtons();
    bool startTask(void (*routine)(IconTask&), const QString& encodedIcon);
    void taskEnded(bool rebuild);
    bool writable() const;

    QGroupBox* m_sourceGroup = nullptr;
    QLabel* m_imageLabel = nullptr;
    QLineEdit* m_imageEdit = nullptr;
    QPushButton* m_imageBrowse = nullptr;
    QLabel* m_sourceLabel = nullptr;
    QLineEdit* m_sourceEdit = nullptr;
    QPushButton* m_sourceBrowse = nullptr;
    QGroupBox* m_listGroup = nullptr;
    QTableWidget* m_iconList = nullptr;
    QGroupBox* m_sizeGroup = nullptr;
    QComboBox* m_sizeCombo = nullptr;
    IconPreview* m_chosenPreview = nullptr;
    QGroupBox* m_storedGroup = nullptr;
    IconPreview* m_storedPreview = nullptr;
    QGroupBox* m_infoGroup = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_rebuildButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
    QPushButton* m_writeButton = nullptr;

    WIMFILEINFO m_fileInfo;
    bool m_fileExists = false;
    IMAGEICON m_stored;
    IconSource m_source;
    int m_selected = -1;
    bool m_running = false;
    std::function<QString()> m_pickSavePath;

    IconTask m_task;
    FunctionTaskWindow m_infoWindow;
};
