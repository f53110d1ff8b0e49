// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/registerdialog.h"

#include "common/iconcache.h"
#include "common/language.h"
#include "shell/association.h"
#include "ui/drawing.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

namespace {

QString L(int n)
{
    return GetLanguageString(n);
}

constexpr int kSystemThumbnailerNote = 500;

} // namespace

RegisterExtensionsDialog::RegisterExtensionsDialog(int registering, QWidget* parent)
    : QDialog(parent), m_registering(registering ? 1 : 0)
{
    setWindowTitle(L(m_registering ? 226 : 227));
    setWindowIcon(ProgramIcon());
    setAutoFillBackground(true);
    SetBrushColour(this, QPalette::Window, kBrushBackground);

    auto* options = new QGroupBox(L(m_registering ? 250 : 251), this);
    auto* optionsLayout = new QVBoxLayout(options);
    m_icon = new QCheckBox(L(252), options);
    m_menu = new QCheckBox(L(253), options);
    m_association = new QCheckBox(L(254), options);
    m_icon->setObjectName(QStringLiteral("iconHandler"));
    m_menu->setObjectName(QStringLiteral("menuHandler"));
    m_association->setObjectName(QStringLiteral("association"));
    for (QCheckBox* box : {m_icon, m_menu, m_association}) {
        box->setChecked(m_registering == 1);
        optionsLayout->addWidget(box);
        connect(box, &QCheckBox::toggled, this, &RegisterExtensionsDialog::updateApply);
    }

    auto* label = new QLabel(L(65), this);
    m_output = new QPlainTextEdit(this);
    m_output->setObjectName(QStringLiteral("output"));
    m_output->setReadOnly(true);
    SetBrushColour(m_output, QPalette::Base, kBrushWhite);

    m_apply = new QPushButton(L(137), this);
    m_close = new QPushButton(L(136), this);
    m_apply->setObjectName(QStringLiteral("apply"));
    m_close->setObjectName(QStringLiteral("close"));
    connect(m_apply, &QPushButton::clicked, this, &RegisterExtensionsDialog::apply);
    connect(m_close, &QPushButton::clicked, this, &RegisterExtensionsDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_apply);
    buttons->addWidget(m_close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(options);
    layout->addWidget(label);
    layout->addWidget(m_output, 1);
    layout->addLayout(buttons);
    updateApply();
}

RegisterExtensionsDialog::~RegisterExtensionsDialog() = default;

void RegisterExtensionsDialog::updateApply()
{
    m_apply->setEnabled(!m_running && (m_icon->isChecked() || m_menu->isChecked() || m_association->isChecked()));
}

void RegisterExtensionsDialog::append(const QString& text)
{
    m_output->moveCursor(QTextCursor::End);
    m_output->insertPlainText(text);
    m_output->moveCursor(QTextCursor::End);
}

void RegisterExtensionsDialog::setControlsEnabled(bool enabled)
{
    for (QWidget* w : std::initializer_list<QWidget*>{m_icon, m_menu, m_association, m_close})
        w->setEnabled(enabled);
    updateApply();
}

void RegisterExtensionsDialog::reject()
{
    // The steps write files that belong together: the dialog stays until
    // they have ended.
    if (!m_running)
        QDialog::reject();
}

void RegisterExtensionsDialog::closeEvent(QCloseEvent* event)
{
    if (m_running)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void RegisterExtensionsDialog::apply()
{
    if (m_running)
        return;
    const bool reg = m_registering == 1;
    const bool icon = m_icon->isChecked();
    const bool menu = m_menu->isChecked();
    const bool association = m_association->isChecked();
    if (!icon && !menu && !association)
        return;
    m_running = true;
    m_output->clear();
    append(QStringLiteral("\n"));
    setControlsEnabled(false);

    // The worker only posts: texts to append, "clear", and the end.
    QPointer<RegisterExtensionsDialog> self(this);
    auto post = [self](std::function<void(RegisterExtensionsDialog&)> step) {
        QMetaObject::invokeMethod(
            qApp,
            [self, step = std::move(step)] {
                if (self)
                    step(*self);
            },
            Qt::QueuedConnection);
    };
    auto say = [post](const QString& text) { post([text](RegisterExtensionsDialog& d) { d.append(text); }); };
    auto clear = [post] { post([](RegisterExtensionsDialog& d) { d.m_output->clear(); }); };
    const auto result = [](bool ok) { return L(ok ? 21 : 22) + u'\n'; };

    QThread* worker = QThread::create([=] {
        const ShellInstall install = RunningInstall();
        bool iconOk = false;
        bool menuOk = false;
        bool associationOk = false;
        bool directoriesMade = false;
        if (icon || menu) {
            clear();
            const ShellModuleHandle module(install.module());
            if (module) {
                clear();
                if (icon) {
                    say(L(reg ? 259 : 260));
                    const ShellModuleHandle::RegisterExport exported = module.registerExport("DllRegisterIconShExt");
                    iconOk = exported && exported(reg ? 1 : 0) == 0;
                    if (iconOk)
                        RebuildIconCache();
                    say(result(iconOk));
                    if (iconOk && SystemThumbnailerInstalled())
                        say(L(kSystemThumbnailerNote) + u'\n');
                }
                if (menu) {
                    say(L(reg ? 261 : 262));
                    if (reg)
                        directoriesMade = EnsureWorkDirectories(say);
                    const ShellModuleHandle::RegisterExport exported = module.registerExport("DllRegisterMenuShExt");
                    menuOk = exported && exported(reg ? 1 : 0) == 0;
                    say(result(menuOk));
                }
            } else {
                say(L(263) + u'\n');
                if (!module.error().isEmpty())
                    say(module.error() + u'\n');
            }
        }
        if (association) {
            say(L(reg ? 264 : 265));
            if (reg && !directoriesMade)
                EnsureWorkDirectories(say);
            associationOk = SetFileAssociation(install, reg);
            say(result(associationOk));
        }
        if (!icon || iconOk || !menu || menuOk || !association || associationOk)
            say(QStringLiteral("\n") + L(266) + u'\n');
        post([](RegisterExtensionsDialog& d) { d.finished(); });
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

void RegisterExtensionsDialog::finished()
{
    m_running = false;
    setControlsEnabled(true);
}

void CheckShellModuleFile(int registering, QWidget* mainWindow, const std::function<void(const QString&)>& showMessage)
{
    if (!ShellModuleFits(RunningInstall().module())) {
        if (showMessage)
            showMessage(L(301) + u'\n');
        return;
    }
    RegisterExtensionsDialog dialog(registering, mainWindow);
    if (mainWindow) {
        // Over the main window: a fifth in from its left, three fifths wide,
        // a quarter down, half as high.
        const QRect main = mainWindow->frameGeometry();
        const int unit = LayoutUnit();
        dialog.setGeometry(main.x() + main.width() / 5, main.y() + main.height() / 4 + 5 * unit, main.width() * 3 / 5,
                           main.height() / 2 - 10 * unit);
    }
    dialog.exec();
}
