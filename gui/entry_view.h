// SPDX-License-Identifier: MIT
// The entry table's view: a QTableView whose rows can be dragged out to a
// file manager. Nothing can be dropped on it, and a drag does not carry the
// rows' data itself: the window extracts the entries first (dragRequested)
// and then offers the files.
#pragma once

#include <QTableView>

class vzA_EntryView : public QTableView {
    Q_OBJECT

public:
    explicit vzA_EntryView(QWidget* parent);

signals:
    // The user started dragging the selected rows.
    void dragRequested();

protected:
    void startDrag(Qt::DropActions supportedActions) override;
};
