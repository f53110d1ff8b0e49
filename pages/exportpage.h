// SPDX-License-Identifier: GPL-3.0-or-later
// The third page of the main window: exporting and merging images, splitting
// a file into parts, and optimising or converting a file.
#pragma once

#include "imaging/taskwindow.h"
#include "metadata/imagefileinfo.h"
#include "pages/core/exportlogic.h"
#include "ui/pageframework.h"
#include "ui/progressrow.h"

#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

class ExportPage : public KestrelPage {
    Q_OBJECT
public:
    explicit ExportPage(QWidget* parent = nullptr);
    ~ExportPage() override;

    void retext() override;
    void setImageFile(const QString& path) override;

    // The three task buttons, the start and the stop button.
    void chooseTask(ExportTask task);
    void startTask();
    void stopTask();

    ExportTask task() const { return m_taskKind; }
    bool isRunning() const { return m_running; }
    const WIMFILEINFO& fileInfo() const { return m_fileInfo; }

protected:
    void dropFile(const QString& path, const QPoint& pos) override;

private:
    void buildControls();
    void connectControls();
    void setupTask();
    void showTaskControls();
    void checkExportInputs();
    void sourceChanged();
    void imageNumberChanged();
    void setRunning(bool running);
    void setProgressVisible(bool visible);

    void showInfoBox(bool clearIfAsked);

    QGroupBox* m_sourceGroup = nullptr;
    QGroupBox* m_targetGroup = nullptr;
    QGroupBox* m_imageGroup = nullptr;
    QGroupBox* m_taskGroup = nullptr;
    QGroupBox* m_infoGroup = nullptr;
    QLineEdit* m_sourceEdit = nullptr;
    QLineEdit* m_targetEdit = nullptr;
    QPushButton* m_sourceBrowse = nullptr;
    QPushButton* m_targetBrowse = nullptr;
    QLabel* m_indexLabel = nullptr;
    QSpinBox* m_indexSpin = nullptr;
    QLabel* m_hint = nullptr;
    QLabel* m_nameLabel = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QLabel* m_descriptionLabel = nullptr;
    QLineEdit* m_descriptionEdit = nullptr;
    QLabel* m_heading = nullptr;
    QPushButton* m_taskButtons[3] = {};
    QLabel* m_compressionLabel = nullptr;
    QComboBox* m_compression = nullptr;
    QLabel* m_partSizeLabel = nullptr;
    QLineEdit* m_partSize = nullptr;
    QCheckBox* m_boot = nullptr;            // 98
    QCheckBox* m_clearHint = nullptr;       // 99
    QCheckBox* m_noConfig = nullptr;        // 100
    QCheckBox* m_allowDuplicates = nullptr; // 362
    QPushButton* m_startButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    TaskProgressRow m_progressRow;

    ExportTask m_taskKind = ExportTask::Export;
    WIMFILEINFO m_fileInfo;
    std::vector<WIMIMAGEINFO> m_images;
    bool m_rememberedBoot = false;
    bool m_rememberedDuplicates = false;
    int m_rememberedCompression = 2;
    uint32_t m_targetCompression = 2;
    bool m_infoShown = false;
    bool m_running = false;
    bool m_inputsGuard = false;
    QString m_messageShownFor;

    OperationTask m_task;
    FunctionTaskWindow m_infoWindow;
    FunctionTaskWindow m_partWindow;
};
