// SPDX-License-Identifier: GPL-3.0-or-later
// Small routines every page uses: dialogs, the stop questions with their
// relabelled buttons, the timed notice, and list, combo and spin helpers.
// All of them run on the GUI thread.
#pragma once

#include <QFont>
#include <QIcon>
#include <QMessageBox>
#include <QRect>
#include <QString>
#include <QStringList>

class QComboBox;
class QDialog;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
class QWidget;

// What a modal dialog is run with: caption, font, icon and placement (an
// empty rectangle centres the dialog at its own size over its parent).
struct DialogRecord {
    QString title;
    QFont font;
    QIcon icon;
    QRect rectangle;
    QStringList helpText;
};

// Applies the record to the dialog and runs it modally; the dialog's result.
int RunDialog(QDialog& dialog, const DialogRecord& record);

// Renames the buttons of a stop confirmation: OK and Yes to language string
// 284, No and Retry to 285, Cancel to 286.
void ButtonTextHook(QMessageBox& box);

// The apply operation's stop question (strings 175, 124, 176, an empty line
// and 126; caption 122) with the given buttons.
QMessageBox::StandardButton AskStop(QWidget* owner, QMessageBox::StandardButtons buttons);
// The capture stop question with Yes, No and Cancel relabelled by
// ButtonTextHook: Yes = safe stop, No = forced stop, Cancel = go on.
QMessageBox::StandardButton AskStopThreeWay(QWidget* owner);

// A frameless, topmost notice centred over the owner's window, closed after
// `milliseconds`. It does not block: the window stays usable meanwhile.
// Returns the notice (it deletes itself when closed).
QWidget* ShowToast(QWidget* owner, const QString& text, int milliseconds);

// Puts `file` into the field when its extension (the text after its last
// ".") is one of `extensions` ("WIM", "SWM", ...; case ignored). A file
// without "." is refused. Returns whether the field took it.
bool SetFieldFromDrop(QLineEdit* field, const QString& file, const QStringList& extensions);

// The text (at most 127 characters) as a decimal integer; 0 when empty.
int ReadNumber(const QString& text);
int ReadNumber(const QLineEdit* field);

// Range or position of a spin box; with a buddy field the position is also
// written there in decimal.
void SetSpinRange(QSpinBox* spin, int low, int high, QLineEdit* buddy = nullptr);
void SetSpinPosition(QSpinBox* spin, int position, QLineEdit* buddy = nullptr);

// Index of the first entry equal (case-sensitive) to text, or -1.
int FindComboText(const QComboBox* combo, const QString& text);

// Replaces the box's text by the lines, each followed by a line break, with
// the caret and the view at the start.
void FillTextBox(QPlainTextEdit* box, const QStringList& lines);
