// SPDX-License-Identifier: MIT
// The search-and-replace dialog of the rename commands. Created once with
// the main window; its fields keep their texts between uses.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

class vzA_ReplaceDialog : public QDialog {
    Q_OBJECT

public:
    explicit vzA_ReplaceDialog(QWidget* parent);

    // The current texts of the search and replacement fields.
    QString searchText() const;
    QString replaceText() const;

protected:
    // Each showing starts in the search field again.
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* searchEdit;
    QLineEdit* replaceEdit;
};
