// SPDX-License-Identifier: GPL-3.0-or-later
// The second page of the main window: capturing a folder into a new image
// file or appending it to an existing one, with the new image's texts, its
// flags and boot mark, the compression, the capture configuration, progress
// and the stop buttons.
#pragma once

#include "imaging/taskwindow.h"
#include "pages/core/captureworker.h"
#include "ui/pageframework.h"
#include "ui/progressrow.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

class CapturePage : public KestrelPage {
    Q_OBJECT
public:
    explicit CapturePage(QWidget* parent = nullptr);
    ~CapturePage() override;

    void retext() override;
    void setDirectory(const QString& path) override;
    void pageShown() override;

    // Enables the start buttons for the fields as they stand.
    void checkCaptureTarget();
    // The buttons' actions.
    void createImage();
    void appendImage();
    void stopCapture();

    bool isCapturing() const { return m_running; }

protected:
    void dropFile(const QString& path, const QPoint& pos) override;

private:
    void buildControls();
    void connectControls();
    void setupTask();
    void startCapture(bool append);
    void setRunning(bool append, bool running);
    void setProgressVisible(bool visible);
    void backToIdle();

    // The information box: the help text makes way for the log the first
    // time the page writes; `clearIfAsked` also empties it when
    // "任务前清空提示信息" is checked.
    void showInfoBox(bool clearIfAsked);

    QGroupBox* m_sourceGroup = nullptr;
    QGroupBox* m_targetGroup = nullptr;
    QGroupBox* m_options1Group = nullptr;
    QGroupBox* m_options2Group = nullptr;
    QGroupBox* m_infoGroup = nullptr;
    QLineEdit* m_sourceEdit = nullptr;
    QLineEdit* m_targetEdit = nullptr;
    QPushButton* m_sourceBrowse = nullptr;
    QPushButton* m_targetBrowse = nullptr;
    QLabel* m_textLabels[4] = {};
    QLineEdit* m_textEdits[4] = {}; // name, description, display name, display description
    QLabel* m_compressLabel = nullptr;
    QComboBox* m_compress = nullptr;
    QLabel* m_flagsLabel = nullptr;
    QComboBox* m_flags = nullptr;
    QCheckBox* m_boot = nullptr;     // 98
    QCheckBox* m_clearHint = nullptr; // 99
    QCheckBox* m_noConfig = nullptr;  // 100
    QPushButton* m_appendButton = nullptr;
    QPushButton* m_configButton = nullptr;
    QPushButton* m_createButton = nullptr;
    QPushButton* m_appendStop = nullptr;
    QPushButton* m_createStop = nullptr;
    TaskProgressRow m_progressRow;

    // The user's last choice in the compression box, kept across the
    // program's own changes (an append shows the target's compression).
    int m_rememberedCompression = 2;
    bool m_infoShown = false;
    bool m_running = false;   // from a started capture until its end reached the page
    bool m_runAppend = false; // which start button the running capture replaced

    OperationTask m_task;
    FunctionTaskWindow m_infoWindow;
};
