// SPDX-License-Identifier: MIT
#include "entry_view.h"

vzA_EntryView::vzA_EntryView(QWidget* parent) : QTableView(parent)
{
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
}

void vzA_EntryView::startDrag(Qt::DropActions)
{
    emit dragRequested();
}
