// SPDX-License-Identifier: MIT
#include "password_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

vzA_PasswordDialog::vzA_PasswordDialog(QWidget* parent) : QDialog(parent)
{
    auto* passwordLabel = new QLabel(tr("パスワード"));
    auto* okButton = new QPushButton(tr("OK"), this);
    auto* cancelButton = new QPushButton(tr("キャンセル"), this);

    auto* fieldRow = new QHBoxLayout;
    auto* buttonRow = new QHBoxLayout;
    auto* mainLayout = new QVBoxLayout;

    passwordEdit = new QLineEdit;
    passwordEdit->setEchoMode(QLineEdit::Password);
    passwordEdit->setObjectName(QStringLiteral("passwordEdit"));
    okButton->setObjectName(QStringLiteral("passwordOkButton"));
    setObjectName(QStringLiteral("passwordDialog"));

    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    // Each showing starts in the password field again.
    connect(this, &QDialog::finished, passwordEdit, qOverload<>(&QWidget::setFocus));

    passwordLabel->setBuddy(passwordEdit);

    fieldRow->addWidget(passwordLabel);
    fieldRow->addWidget(passwordEdit);
    buttonRow->addStretch(1);
    buttonRow->addWidget(okButton);
    buttonRow->addWidget(cancelButton);
    mainLayout->addLayout(fieldRow);
    mainLayout->addLayout(buttonRow);

    setLayout(mainLayout);
    setWindowTitle(tr("パスワード"));
    passwordEdit->setFocus(Qt::OtherFocusReason);
}

QString vzA_PasswordDialog::password() const
{
    return passwordEdit->text();
}
