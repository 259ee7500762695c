// SPDX-License-Identifier: MIT
// Asks for the password of an encrypted archive. Created once with the main
// window; the masked field keeps the last password for the next use.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

class vzA_PasswordDialog : public QDialog {
    Q_OBJECT

public:
    explicit vzA_PasswordDialog(QWidget* parent);

    // The current text of the password field.
    QString password() const;

private:
    QLineEdit* passwordEdit;
};
