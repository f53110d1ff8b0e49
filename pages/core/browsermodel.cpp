// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/browsermodel.h"

#include "common/format.h"

#include <QColor>

BrowserModel::BrowserModel(QObject* parent) : QAbstractTableModel(parent) {}

void BrowserModel::setListing(std::vector<BrowserRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void BrowserModel::setFillRows(int rows)
{
    const int before = rowCount();
    m_fillRows = std::max(0, rows);
    const int after = rowCount();
    if (after > before) {
        beginInsertRows(QModelIndex(), before, after - 1);
        endInsertRows();
    } else if (after < before) {
        beginRemoveRows(QModelIndex(), after, before - 1);
        endRemoveRows();
    }
}

void BrowserModel::setHeaderTexts(const QStringList& texts)
{
    m_headers = texts;
    emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

void BrowserModel::setDecorationProvider(std::function<QVariant(const BrowserRow&)> provider)
{
    m_decoration = std::move(provider);
}

const BrowserRow* BrowserModel::rowAt(int row) const
{
    return row >= 0 && row < realRowCount() ? &m_rows[size_t(row)] : nullptr;
}

int BrowserModel::findRow(const QString& name) const
{
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].name == name)
            return int(i);
    }
    return -1;
}

void BrowserModel::updateRow(int row, const BrowserRow& content)
{
    if (!rowAt(row))
        return;
    m_rows[size_t(row)] = content;
    emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}

QString BrowserModel::typeNameOf(const BrowserRow& row) const
{
    if (!row.typeName.isEmpty() || (row.kind != kRowFile && row.kind != kRowImageFile))
        return row.typeName;
    return m_types.of(row.name).comment;
}

QString BrowserModel::iconNameOf(const BrowserRow& row) const
{
    if (!row.iconName.isEmpty() || (row.kind != kRowFile && row.kind != kRowImageFile))
        return row.iconName;
    return m_types.of(row.name).iconName;
}

int BrowserModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max(realRowCount(), m_fillRows);
}

int BrowserModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QString BrowserModel::cellText(const BrowserRow& row, int column) const
{
    switch (column) {
    case kColName:
        return row.name;
    case kColType:
        return typeNameOf(row);
    case kColSize:
        if (!row.sizeText.isEmpty())
            return row.sizeText;
        return row.showSize ? FormatByteSize(row.size) : QString();
    case kColCreated:
        if (!row.createdText.isEmpty())
            return row.createdText;
        return row.created ? FormatFileTime(row.created) : QString();
    case kColModified:
        if (!row.modifiedText.isEmpty())
            return row.modifiedText;
        return row.modified ? FormatFileTime(row.modified) : QString();
    case kColKind:
        return QString::number(row.kind);
    default:
        return QString();
    }
}

QVariant BrowserModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int column = index.column();
    if (column == kColNumber) {
        if (role == Qt::DisplayRole)
            return QString::number(index.row());
        if (role == Qt::ForegroundRole)
            return QColor(0, 0, 255);
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    const BrowserRow* row = rowAt(index.row());
    if (!row)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return cellText(*row, column);
    case Qt::ToolTipRole:
        return column == kColName ? row->name : QVariant();
    case Qt::DecorationRole:
        return column == kColName && m_decoration ? m_decoration(*row) : QVariant();
    case Qt::TextAlignmentRole:
        return column == kColSize ? QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    default:
        return {};
    }
}

QVariant BrowserModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return section < m_headers.size() ? m_headers[section] : QString();
}

Qt::ItemFlags BrowserModel::flags(const QModelIndex& index) const
{
    // Fill rows are only drawn.
    if (!index.isValid() || !rowAt(index.row()))
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}
