// SPDX-License-Identifier: MIT
// Asks for the password of an encrypted archive. Created once with the main
// window; the masked field keeps the last password for the next use.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;

class vzA_PasswordDialog : public QDialog {
    Q_OBJECT

public:
    explicit vzA_PasswordDialog(QWidget* parent);

    // The current text of the password field.
    QString password() const;

    // Names the archive the next showing asks for; wrongBefore says that
    // the password given last was wrong. The field keeps its text.
    void setArchive(const QString& name, bool wrongBefore);

private:
    QLineEdit* passwordEdit;
    QLabel* archiveLabel;
};
