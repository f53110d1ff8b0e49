// SPDX-License-Identifier: GPL-3.0-or-later
// The fourth page of the main window: the images of one image file, their
// texts, flags and boot mark, deleting an image, and the dialog with all the
// file's information.
#pragma once

#include "imaging/taskwindow.h"
#include "metadata/imagefileinfo.h"
#include "pages/core/imageinfoworker.h"
#include "pages/core/imageinfologic.h"
#include "ui/pageframework.h"

#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

class InfoPage : public KestrelPage {
    Q_OBJECT
public:
    // Columns of the image list.
    enum Column : int { kColIndex = 0, kColName, kColArch, kColVersion, kColLanguage, kColSize, kColumnCount };

    explicit InfoPage(QWidget* parent = nullptr);
    ~InfoPage() override;

    void retext() override;
    void setImageFile(const QString& path) override;

    // Reads the file and lists its images, logging the read and showing the
    // file summary; `quiet` (after a change) shows the summary alone.
    void LoadImageList(const QString& path, bool quiet = false);
    // Shows image row + 1 in the fields and its details in the box.
    void SelectImageRow(int row);
    // Enables the modify button when the fields differ from the image.
    void CheckModified();

    // The buttons' actions.
    void deleteImage();
    void modifyImage();
    void viewInformation();

    int selectedRow() const { return m_selectedRow; }
    bool isBusy() const { return m_running; }
    const WIMFILEINFO& fileInfo() const { return m_fileInfo; }

protected:
    void dropFile(const QString& path, const QPoint& pos) override;

private:
    void buildControls();
    void connectControls();
    void fileFieldChanged();
    void clearFields();
    void applyEnabling();
    ImageEditInputs fieldInputs() const;
    bool startChange(void (*routine)(ImageInfoTask&), int row);
    void changeEnded(int row, bool reselect);

    QGroupBox* m_fileGroup = nullptr;
    QGroupBox* m_listGroup = nullptr;
    QGroupBox* m_options2Group = nullptr;
    QGroupBox* m_options1Group = nullptr;
    QGroupBox* m_infoGroup = nullptr;
    QLineEdit* m_fileEdit = nullptr;
    QPushButton* m_browseButton = nullptr;
    QPushButton* m_viewButton = nullptr;
    QTreeWidget* m_list = nullptr;
    QLabel* m_nameLabel = nullptr;
    QLabel* m_descriptionLabel = nullptr;
    QLabel* m_displayNameLabel = nullptr;
    QLabel* m_displayDescriptionLabel = nullptr;
    QLabel* m_flagsLabel = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QLineEdit* m_descriptionEdit = nullptr;
    QLineEdit* m_displayNameEdit = nullptr;
    QLineEdit* m_displayDescriptionEdit = nullptr;
    QComboBox* m_flagsBox = nullptr;
    QCheckBox* m_bootBox = nullptr;
    QPushButton* m_modifyButton = nullptr;
    QPushButton* m_deleteButton = nullptr;

    // The file in the list.
    QString m_loadedPath;
    WIMFILEINFO m_fileInfo;
    std::vector<WIMIMAGEINFO> m_images;
    bool m_fileRead = false;
    int m_selectedRow = -1;
    QString m_flagsPrompt; // the first [System_Flag] line
    // What the box shows above the selected image's details.
    QString m_boxHead;
    bool m_filling = false;

    // The change that runs on the task worker, and the page's own log of
    // the reading it does on the GUI thread (no poster: written at once).
    ImageInfoTask m_task;
    TASKCONTEXT m_readLog;
    FunctionTaskWindow m_infoWindow;
    bool m_running = false;
};
