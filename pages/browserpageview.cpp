// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/browserpageview.h"

#include <QHeaderView>
#include <QKeyEvent>

BrowserPageView::BrowserPageView(QWidget* parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setContextMenuPolicy(Qt::CustomContextMenu);
    // A scroll bar always stands at the right, greyed while the rows fit,
    // so that the columns keep their width.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    verticalHeader()->hide();
    // Every row has one height: the view then never measures rows.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
}

void BrowserPageView::startDrag(Qt::DropActions)
{
    // The rows are extracted first; the page starts the drag itself.
    const QModelIndex current = currentIndex();
    if (current.isValid())
        emit dragRequested(current.row());
}

void BrowserPageView::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    emit scrolled();
}

void BrowserPageView::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    emit resized();
}

void BrowserPageView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit openKey();
        return;
    case Qt::Key_Backspace:
        emit backKey();
        return;
    case Qt::Key_F2:
        emit renameKey();
        return;
    default:
        QTableView::keyPressEvent(event);
    }
}
