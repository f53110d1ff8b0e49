// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog that shows everything the image information reader knows about
// one image file as a tree: the file, its summary, and each image with its
// details.
#pragma once

#include <QDialog>
#include <QString>

class QTreeWidget;

class ImageInfoDialog : public QDialog {
    Q_OBJECT
public:
    // Reads the file and builds the tree; an unreadable file gets its root
    // item and the failure under it.
    explicit ImageInfoDialog(const QString& path, QWidget* parent = nullptr);

    QTreeWidget* tree() const { return m_tree; }

protected:
    // The size the dialog opens with is the smallest it can be made.
    void showEvent(QShowEvent* event) override;

private:
    void buildTree(const QString& path);

    QTreeWidget* m_tree;
    bool m_minimumSet = false;
};

// Runs the dialog for `path` modally over the owner's main window, with the
// window's size and position (language string 291 as its caption).
int RunImageInfoDialog(QWidget* owner, const QString& path);
