// The main window of vza-extract: the entry table, four command buttons with
// matching menu actions, and the two dialogs the commands use.
#pragma once

#include <QByteArray>
#include <QMainWindow>
#include <QString>

#include <string>

#include "archive/archive.h"

class QFrame;
class QHBoxLayout;
class QResizeEvent;
class QTableWidget;
class vzA_PasswordDialog;
class vzA_ReplaceDialog;

class vzA_ExtWindow : public QMainWindow {
    Q_OBJECT

public:
    vzA_ExtWindow();
    ~vzA_ExtWindow() override;

    // Shares the table's free width equally between its two columns.
    // Run after show(), on every resize and after every cell put in.
    void adjustColumnWidths();

public slots:
    // Renames the output name of the one selected row.
    void changeItem();
    // Search and replace over the output names of the selected rows.
    void replaceItem();
    // Chooses an archive, asks its password if needed, and lists it.
    void readArchive();
    // Writes the entries of the selected rows to their output names.
    void extractFile();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void createTable(QWidget *central);
    void createLayout(QWidget *central);
    QHBoxLayout *createButtonRow();
    void createMenus();

    // Puts text into one cell, adding rows as needed. storedName, when not
    // null, is kept in the item's Qt::UserRole: the exact bytes by which
    // the extract command finds the entry.
    void setTableItem(int row, int column, const QString &text,
                      const QByteArray &storedName = QByteArray());
    void fillTable();

    QTableWidget *table = nullptr;
    QFrame *frame = nullptr;
    vzA_ReplaceDialog *replaceDialog = nullptr;
    vzA_PasswordDialog *passwordDialog = nullptr;
    vza::Archive archive;
};
