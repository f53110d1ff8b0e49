// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/doubleclickdialogs.h"

#include "common/language.h"

#include <QAbstractButton>

namespace {

class WidgetDoubleClickDialogs : public DoubleClickDialogs {
public:
    MountConsent askConsent(const QString& imageFile, const QString& mountCommand,
                            const QString& unmountCommand) override
    {
        QMessageBox box;
        BuildMountConsentBox(box, imageFile, mountCommand, unmountCommand);
        return MountConsentFromButton(QMessageBox::StandardButton(box.exec()));
    }

    void showFailure(const QString& text) override
    {
        QMessageBox box(QMessageBox::Critical, ProgramTitle(), text, QMessageBox::Ok);
        box.exec();
    }
};

} // namespace

void BuildMountConsentBox(QMessageBox& box, const QString& imageFile, const QString& mountCommand,
                          const QString& unmountCommand)
{
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(GetLanguageString(406));
    box.setTextFormat(Qt::PlainText);
    // The commands are shown as stored, unexpanded and uncut, so that the
    // user sees what was approved.
    QString text = GetLanguageString(400) + u'\n' + u'\n' + GetLanguageString(401) + imageFile + u'\n'
        + GetLanguageString(187) + mountCommand;
    if (!unmountCommand.isEmpty())
        text += u'\n' + GetLanguageString(188) + unmountCommand;
    box.setText(text);
    box.setInformativeText(GetLanguageString(402));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    box.button(QMessageBox::Yes)->setText(GetLanguageString(403));
    box.button(QMessageBox::No)->setText(GetLanguageString(404));
    box.button(QMessageBox::Cancel)->setText(GetLanguageString(405));
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
}

MountConsent MountConsentFromButton(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Yes:
        return MountConsent::Run;
    case QMessageBox::No:
        return MountConsent::MountOnly;
    default:
        return MountConsent::Cancel;
    }
}

void RegisterWidgetDoubleClickDialogs()
{
    static WidgetDoubleClickDialogs dialogs;
    RegisterDoubleClickDialogs(&dialogs);
}
