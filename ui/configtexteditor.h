// SPDX-License-Identifier: GPL-3.0-or-later
// The editor of the capture-configuration text, opened from the mount and the
// capture pages.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class ConfigTextEditorDialog : public QDialog {
    Q_OBJECT
public:
    // Shows the current capture-configuration table.
    explicit ConfigTextEditorDialog(QWidget* parent = nullptr);

    QString text() const;
    QString heading() const;

    // The buttons' actions; public so that tests and callers can drive them.
    void loadDefault();
    // Puts a file's lines into the editor, up to the first line starting with
    // "[System_Flag]", so that a language file can serve as a source. False
    // when the file cannot be read.
    bool loadFile(const QString& path);
    // Writes the byte-order mark, the text and a terminating zero character.
    bool saveFile(const QString& path) const;
    // Replaces the capture-configuration table with the text; closes with 1.
    void apply();

private:
    void chooseAndLoad();
    void chooseAndSave();
    void setHeading(const QString& text);

    QLabel* m_heading;
    QPlainTextEdit* m_edit;
};

// Runs the editor modally; 1 when the text was applied, 0 when closed.
int ConfigTextEditor(QWidget* owner);
