// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pickers.h"

#include "common/language.h"
#include "common/textutil.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

#include <array>

namespace {

std::array<QString, 4>& Remembered()
{
    static std::array<QString, 4> folders;
    return folders;
}

QString& RememberedSlot(PickerKind kind)
{
    return Remembered()[size_t(kind)];
}

void Remember(PickerKind kind, const QString& folder)
{
    RememberedSlot(kind) = CutToUnits(folder, kPathUnits);
}

// "*.WIM;*.SWM" becomes "name (*.WIM *.SWM)"; Qt matches the patterns
// ignoring case, as the designed dialogs do.
QString QtFilter(const QString& name, const QString& pattern)
{
    QStringList parts = pattern.split(u';', Qt::SkipEmptyParts);
    for (QString& p : parts)
        p = p.trimmed();
    return name + QStringLiteral(" (") + parts.join(u' ') + u')';
}

// The folder a field's path lies in: the path itself when it is a folder,
// else the nearest existing folder above it; empty when there is none.
QString FolderOfField(const QString& path)
{
    if (path.trimmed().isEmpty())
        return {};
    QFileInfo info(path);
    if (info.isDir())
        return info.absoluteFilePath();
    QDir dir = info.absoluteDir();
    for (int up = 0; up < 64 && !dir.exists(); ++up) {
        if (!dir.cdUp())
            return {};
    }
    return dir.exists() ? dir.absolutePath() : QString();
}

void Prepare(QFileDialog& dialog, PickerKind kind, const QString& title, const QString& fieldPath = {})
{
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setWindowTitle(title);
    QString start = FolderOfField(fieldPath);
    if (start.isEmpty())
        start = RememberedSlot(kind);
    dialog.setDirectory(start.isEmpty() || !QFileInfo(start).isDir() ? QDir::homePath() : start);
}

QLineEdit* FileNameBox(QFileDialog& dialog)
{
    return dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

QString WithoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

// The name box and its label follow the selection: "文件夹 : " or "文件 : "
// and the item's path.
void FollowSelection(QFileDialog& dialog)
{
    QObject::connect(&dialog, &QFileDialog::currentChanged, &dialog, [&dialog](const QString& path) {
        if (path.isEmpty())
            return;
        const bool isDir = QFileInfo(path).isDir();
        dialog.setLabelText(QFileDialog::FileName, GetLanguageString(isDir ? 347 : 348) + QStringLiteral(" : "));
        if (QLineEdit* box = FileNameBox(dialog); box && box->text() != path && !box->hasFocus())
            box->setText(path);
    });
    QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog, [&dialog](const QString& dir) {
        if (QLineEdit* box = FileNameBox(dialog))
            box->setText(QFileInfo(dir).isDir() ? dir : QString());
    });
}

// The open dialog that also takes a folder: confirming with the path of an
// existing folder (or file) in the name box ends the dialog with it.
class FileOrFolderDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    QString chosenPath() const { return m_result; }

    void accept() override
    {
        QString text;
        if (QLineEdit* box = FileNameBox(*this))
            text = box->text().trimmed();
        if (!text.isEmpty()) {
            const QString path = QDir(directory()).absoluteFilePath(text);
            const QFileInfo info(path);
            if (info.exists() && (info.isDir() || info.isFile())) {
                m_result = WithoutTrailingSlash(QDir::cleanPath(info.absoluteFilePath()));
                done(QDialog::Accepted);
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    QString m_result;
};

QString FirstSelected(const QFileDialog& dialog)
{
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : CutToUnits(files.first(), kPathUnits);
}

} // namespace

QString RememberedFolder(PickerKind kind)
{
    return RememberedSlot(kind);
}

QString FirstPatternExtension(const QString& pattern)
{
    const qsizetype dot = pattern.indexOf(u'.');
    if (dot < 0)
        return QString();
    const qsizetype semi = pattern.indexOf(u';', dot);
    return pattern.mid(dot, semi < 0 ? -1 : semi - dot);
}

QString MakeNewFolder(const QString& parent, const QString& name)
{
    const QDir dir(parent);
    if (name.isEmpty() || !dir.exists())
        return QString();
    // Bounded, so that a folder that refuses new entries cannot keep us here.
    for (int n = 1; n < 10000; ++n) {
        const QString candidate = n == 1 ? name : name + QStringLiteral(" (%1)").arg(n);
        const QString path = dir.absoluteFilePath(candidate);
        if (QFileInfo::exists(path))
            continue;
        return dir.mkdir(candidate) ? path : QString();
    }
    return QString();
}

QString PickOpenFile(QWidget* owner, const QString& title, const QString& filterName, const QString& filterPattern,
                     const QString& fieldPath)
{
    QFileDialog dialog(owner);
    Prepare(dialog, PickerKind::OpenFile, title, fieldPath);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QtFilter(filterName, filterPattern));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QString path = FirstSelected(dialog);
    if (!QFileInfo(path).isFile())
        return QString();
    Remember(PickerKind::OpenFile, QFileInfo(path).absolutePath());
    return path;
}

QString PickSaveFile(QWidget* owner, const QString& title, const QString& filterName, const QString& filterPattern,
                     const QString& proposedBaseName)
{
    QFileDialog dialog(owner);
    Prepare(dialog, PickerKind::SaveFile, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilter(QtFilter(filterName, filterPattern));
    const QString ext = FirstPatternExtension(filterPattern);
    if (ext.size() > 1)
        dialog.setDefaultSuffix(ext.mid(1));
    dialog.selectFile(proposedBaseName + ext);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QString path = FirstSelected(dialog);
    if (path.isEmpty() || QFileInfo(path).isDir())
        return QString();
    Remember(PickerKind::SaveFile, QFileInfo(path).absolutePath());
    return path;
}

QString PickFolder(QWidget* owner, const QString& title, const QString& newFolderText, const QString& fieldPath)
{
    QFileDialog dialog(owner);
    Prepare(dialog, PickerKind::Folder, title, fieldPath);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    FollowSelection(dialog);
    if (!newFolderText.isEmpty()) {
        auto* button = new QPushButton(newFolderText, &dialog);
        button->setObjectName(QStringLiteral("newFolderButton"));
        button->setAutoDefault(false);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
            grid->addWidget(button, grid->rowCount(), 0, 1, 1, Qt::AlignLeft);
        QObject::connect(&dialog, &QFileDialog::directoryEntered, button,
                         [button](const QString& dir) { button->setEnabled(QFileInfo(dir).isDir()); });
        QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, newFolderText] {
            const QString made = MakeNewFolder(dialog.directory().absolutePath(), newFolderText);
            if (made.isEmpty())
                return;
            // Selecting it through the dialog keeps the view's selection in
            // step, so that earlier new folders do not stay selected too.
            dialog.selectFile(made);
            if (QLineEdit* box = FileNameBox(dialog))
                box->setText(made);
        });
    }
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QString path = WithoutTrailingSlash(FirstSelected(dialog));
    if (!QFileInfo(path).isDir())
        return QString();
    Remember(PickerKind::Folder, QFileInfo(path).absolutePath());
    return path;
}

QString PickFileOrFolder(QWidget* owner)
{
    FileOrFolderDialog dialog(owner);
    Prepare(dialog, PickerKind::FileOrFolder, QString());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    FollowSelection(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    QString path = dialog.chosenPath();
    if (path.isEmpty())
        path = WithoutTrailingSlash(FirstSelected(dialog));
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    path = CutToUnits(path, kPathUnits);
    Remember(PickerKind::FileOrFolder, info.isDir() ? path : info.absolutePath());
    return path;
}
