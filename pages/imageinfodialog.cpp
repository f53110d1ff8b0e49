// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/imageinfodialog.h"
#include "pages/pagetext.h"

#include "common/format.h"
#include "metadata/imagefileinfo.h"
#include "pages/core/imageinfologic.h"
#include "ui/drawing.h"
#include "ui/sharedcontrols.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstring>
#include <vector>

namespace {

QTreeWidgetItem* AddLine(QTreeWidgetItem* parent, const QString& text)
{
    auto* item = new QTreeWidgetItem(parent);
    item->setText(0, text);
    return item;
}

void AddLineWhenSet(QTreeWidgetItem* parent, int label, const QString& value)
{
    if (!value.isEmpty())
        AddLine(parent, L(label) + value);
}

} // namespace

ImageInfoDialog::ImageInfoDialog(const QString& path, QWidget* parent) : QDialog(parent), m_tree(new QTreeWidget)
{
    setObjectName(QStringLiteral("ImageInfoDialog"));
    setWindowTitle(L(291));
    setWindowIcon(ProgramIcon());
    setFont(MainFont());
    SetBrushColour(this, QPalette::Window, kBrushBackground);

    auto* group = new QGroupBox(L(292), this);
    group->setObjectName(QStringLiteral("details"));
    // Only the frame's title is blue, not the tree inside it.
    group->setStyleSheet(QStringLiteral("QGroupBox#details { color: %1; }").arg(BrushColor(kBrushHeading).name()));
    auto* groupLayout = new QVBoxLayout(group);
    m_tree->setParent(group);
    m_tree->setObjectName(QStringLiteral("detailsTree"));
    m_tree->setHeaderHidden(true);
    m_tree->setColumnCount(1);
    groupLayout->addWidget(m_tree);

    auto* close = new QPushButton(L(136), this);
    close->setObjectName(QStringLiteral("close"));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addLayout(buttons);
    const int u = LayoutUnit();
    resize(120 * u, 100 * u);

    buildTree(path);
}

void ImageInfoDialog::buildTree(const QString& path)
{
    QIcon fileIcon = QFileIconProvider().icon(QFileInfo(path));
    if (fileIcon.isNull())
        fileIcon = style()->standardIcon(QStyle::SP_FileIcon);

    auto* root = new QTreeWidgetItem(m_tree);
    root->setText(0, path);
    root->setIcon(0, ProgramIcon());

    WIMFILEINFO file;
    std::vector<WIMIMAGEINFO> images;
    int error = 0;
    const bool read = ReadImageFile(path, file, images, &error);
    if (!read) {
        const QString line = L(160) + L(22) + QStringLiteral(" ") + QString::fromLocal8Bit(std::strerror(error));
        AddLine(root, line);
        root->setExpanded(true);
        return;
    }

    AddLine(root, L(168) + QString::number(file.ImageCount));
    AddLine(root, L(96) + GetCompressTypeName(int(file.CompressionType)));
    AddLine(root, L(170) + (file.BootIndex == 0 ? L(171) : QString::number(file.BootIndex)));
    AddLine(root, L(169) + (file.TotalParts < 2 ? L(24)
                                                : QStringLiteral("%1[%2/%3]").arg(L(23)).arg(file.PartNumber).arg(
                                                      file.TotalParts)));
    AddLine(root, L(172) + FormatByteSize(file.TotalBytes));

    for (uint32_t i = 1; i <= file.ImageCount && i <= images.size(); ++i) {
        const WIMIMAGEINFO& image = images[i - 1];
        QString title = QStringLiteral("Image(%1)").arg(i);
        if (!image.Name.isEmpty())
            title += QStringLiteral(": ") + image.Name;
        QTreeWidgetItem* item = AddLine(root, title);
        item->setIcon(0, fileIcon);
        AddLineWhenSet(item, 297, image.ArchText);
        AddLineWhenSet(item, 97, image.Flags);
        AddLineWhenSet(item, 298, image.VersionText);
        AddLine(item, L(299) + image.SizeText);
        AddLine(item, L(339) + image.CreationTimeText);
        AddLine(item, L(174) + image.ModificationTimeText);
        AddLineWhenSet(item, 300, image.DefaultLanguage);
        AddLine(item, L(53) + image.FileCountText);
        AddLine(item, L(173) + image.DirCountText);
    }
    root->setExpanded(true);
}

void ImageInfoDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_minimumSet) {
        m_minimumSet = true;
        setMinimumSize(size());
    }
}

int RunImageInfoDialog(QWidget* owner, const QString& path)
{
    ImageInfoDialog dialog(path, owner);
    DialogRecord record;
    record.title = L(291);
    record.font = MainFont();
    record.icon = ProgramIcon();
    if (owner)
        record.rectangle = owner->window()->geometry();
    return RunDialog(dialog, record);
}
