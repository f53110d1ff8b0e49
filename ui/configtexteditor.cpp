// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/configtexteditor.h"

#include "common/language.h"
#include "ui/drawing.h"
#include "ui/pickers.h"
#include "ui/sharedcontrols.h"

#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace {

QString Bracketed(int n)
{
    return GetLanguageString(55) + u'[' + GetLanguageString(n) + u']';
}

} // namespace

ConfigTextEditorDialog::ConfigTextEditorDialog(QWidget* parent)
    : QDialog(parent), m_heading(new QLabel(this)), m_edit(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("ConfigTextEditor"));
    setWindowTitle(GetLanguageString(9));
    setWindowIcon(ProgramIcon());
    setFont(MainFont());
    SetBrushColour(this, QPalette::Window, kBrushBackground);

    m_heading->setObjectName(QStringLiteral("heading"));
    m_heading->setFont(SemiBoldFont());
    m_edit->setObjectName(QStringLiteral("configText"));
    m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* hintBox = new QGroupBox(GetLanguageString(46), this);
    auto* hint = new QLabel(GetLanguageString(141) + QStringLiteral("\r\n") + GetLanguageString(142), hintBox);
    SetBrushColour(hint, QPalette::WindowText, kBrushRed);
    hint->setWordWrap(true);
    auto* hintLayout = new QVBoxLayout(hintBox);
    hintLayout->addWidget(hint);

    auto* buttons = new QHBoxLayout;
    const struct {
        int text;
        void (ConfigTextEditorDialog::*action)();
    } actions[] = {
        {135, &ConfigTextEditorDialog::loadDefault}, {136, &ConfigTextEditorDialog::reject},
        {137, &ConfigTextEditorDialog::apply},       {138, &ConfigTextEditorDialog::chooseAndSave},
        {139, &ConfigTextEditorDialog::chooseAndLoad},
    };
    for (const auto& a : actions) {
        auto* b = new QPushButton(GetLanguageString(a.text), this);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, a.action);
        buttons->addWidget(b);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_heading);
    layout->addWidget(m_edit, 1);
    layout->addWidget(hintBox);
    layout->addLayout(buttons);
    const int u = LayoutUnit();
    resize(150 * u, 120 * u);

    m_edit->setPlainText(ConfigurationTableText());
    setHeading(GetLanguageString(55) + GetLanguageString(143));
}

QString ConfigTextEditorDialog::text() const
{
    return m_edit->toPlainText();
}

QString ConfigTextEditorDialog::heading() const
{
    return m_heading->text();
}

void ConfigTextEditorDialog::setHeading(const QString& text)
{
    m_heading->setText(text);
}

void ConfigTextEditorDialog::loadDefault()
{
    m_edit->setPlainText(DefaultConfigurationText());
    setHeading(Bracketed(135));
}

bool ConfigTextEditorDialog::loadFile(const QString& path)
{
    QString text;
    if (!ReadConfigurationFileText(path, &text))
        return false;
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    QStringList kept;
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("[System_Flag]"), Qt::CaseInsensitive))
            break;
        kept << line;
    }
    m_edit->setPlainText(kept.join(u'\n'));
    setHeading(Bracketed(139));
    return true;
}

bool ConfigTextEditorDialog::saveFile(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QString text = m_edit->toPlainText();
    text.replace(u'\n', QStringLiteral("\r\n"));
    text.append(QChar(0));
    QByteArray bytes("\xFF\xFE", 2);
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return file.write(bytes) == bytes.size() && file.flush();
}

void ConfigTextEditorDialog::apply()
{
    SetConfigurationText(m_edit->toPlainText());
    done(1);
}

void ConfigTextEditorDialog::chooseAndLoad()
{
    const QString path = PickOpenFile(this, GetLanguageString(150), GetLanguageString(55), QStringLiteral("*.CFG;*INI;*TXT"));
    if (!path.isEmpty())
        loadFile(path);
}

void ConfigTextEditorDialog::chooseAndSave()
{
    const QString path = PickSaveFile(this, GetLanguageString(144), GetLanguageString(55), QStringLiteral("*.INI;*.TXT"),
                                      GetLanguageString(293));
    if (path.isEmpty())
        return;
    if (QFileInfo::exists(path)) {
        const QString question = GetLanguageString(145) + u'\n' + GetLanguageString(146) + u'\n' + GetLanguageString(147);
        if (QMessageBox::question(this, GetLanguageString(148), question, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
    }
    if (!saveFile(path))
        QMessageBox::warning(this, GetLanguageString(144), GetLanguageString(202));
}

int ConfigTextEditor(QWidget* owner)
{
    ConfigTextEditorDialog dialog(owner);
    return dialog.exec() == 1 ? 1 : 0;
}
