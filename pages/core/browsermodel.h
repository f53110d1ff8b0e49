// SPDX-License-Identifier: GPL-3.0-or-later
// The image browser's list as a table model: a listing is taken whole in one
// reset, and texts (times, sizes) are made only for the rows a view asks
// for, so that a folder of tens of thousands of entries shows at once.
#pragma once

#include "pages/core/browserlisting.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <functional>

class BrowserModel : public QAbstractTableModel {
public:
    // Six visible columns and the row's kind as decimal text (hidden).
    enum Column : int { kColNumber = 0, kColName, kColType, kColSize, kColCreated, kColModified, kColKind, kColumnCount };

    explicit BrowserModel(QObject* parent = nullptr);

    // Replaces the rows in one reset.
    void setListing(std::vector<BrowserRow> rows);
    // Rows that carry only their number follow the real ones up to this
    // count, so that a short listing still fills the list.
    void setFillRows(int rows);
    // The header texts, in column order (six).
    void setHeaderTexts(const QStringList& texts);
    // What the name cell shows before its text; the page decides (icons are
    // a matter of the desktop's theme).
    void setDecorationProvider(std::function<QVariant(const BrowserRow&)> provider);

    int realRowCount() const { return int(m_rows.size()); }
    // Null for a fill row or out of range.
    const BrowserRow* rowAt(int row) const;
    // The first real row whose name is `name` (exact), or -1.
    int findRow(const QString& name) const;
    // The row's type name and the icon theme's name for it.
    QString typeNameOf(const BrowserRow& row) const;
    QString iconNameOf(const BrowserRow& row) const;
    // Replaces one row's content and repaints it.
    void updateRow(int row, const BrowserRow& content);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QString cellText(const BrowserRow& row, int column) const;

    std::vector<BrowserRow> m_rows;
    int m_fillRows = 0;
    QStringList m_headers;
    std::function<QVariant(const BrowserRow&)> m_decoration;
    mutable FileTypeNames m_types;
};
