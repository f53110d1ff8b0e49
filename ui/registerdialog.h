// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog that registers or removes the three parts of the file-manager
// integration (the icon handler, the menu handler, the file association),
// each on its own, and the module check that comes before it.
#pragma once

#include <QDialog>

#include <functional>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

class RegisterExtensionsDialog : public QDialog {
    Q_OBJECT
public:
    // `registering`: 1 registers (all boxes start checked), 0 removes (none).
    explicit RegisterExtensionsDialog(int registering, QWidget* parent = nullptr);
    ~RegisterExtensionsDialog() override;

    // Runs the chosen steps on a worker; the controls are off meanwhile.
    void apply();
    bool isRunning() const { return m_running; }

    QCheckBox* iconBox() const { return m_icon; }
    QCheckBox* menuBox() const { return m_menu; }
    QCheckBox* associationBox() const { return m_association; }
    QPushButton* applyButton() const { return m_apply; }
    QPlainTextEdit* output() const { return m_output; }

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void updateApply();
    void append(const QString& text);
    void setControlsEnabled(bool enabled);
    void finished();

    int m_registering;
    QCheckBox* m_icon;
    QCheckBox* m_menu;
    QCheckBox* m_association;
    QPlainTextEdit* m_output;
    QPushButton* m_apply;
    QPushButton* m_close;
    bool m_running = false;
};

// Checks the shell module beside the program (an ELF shared object of this
// program's machine) and opens the dialog over `mainWindow`; a missing or
// unfitting module gives its message (301) to `showMessage` instead.
void CheckShellModuleFile(int registering, QWidget* mainWindow, const std::function<void(const QString&)>& showMessage);
