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

    // Which archive the password is for, and whether the last one was wrong.
    archiveLabel = new QLabel;
    archiveLabel->setObjectName(QStringLiteral("passwordArchiveLabel"));
    archiveLabel->setTextFormat(Qt::PlainText);
    archiveLabel->setWordWrap(true);
    archiveLabel->hide();

    fieldRow->addWidget(passwordLabel);
    fieldRow->addWidget(passwordEdit);
    buttonRow->addStretch(1);
    buttonRow->addWidget(okButton);
    buttonRow->addWidget(cancelButton);
    mainLayout->addWidget(archiveLabel);
    mainLayout->addLayout(fieldRow);
    mainLayout->addLayout(buttonRow);

    setLayout(mainLayout);
    setWindowTitle(tr("パスワード"));
    passwordEdit->setFocus(Qt::OtherFocusReason);
}

void vzA_PasswordDialog::setArchive(const QString& name, bool wrongBefore)
{
    QString text = tr("%1 のパスワードを入力して下さい。").arg(name);
    if (wrongBefore)
        text = tr("パスワードが違います。もう一度入力して下さい。") + QLatin1Char('\n') + text;
    archiveLabel->setText(text);
    archiveLabel->setVisible(!name.isEmpty());
    if (wrongBefore)
        passwordEdit->selectAll();  // typing replaces the wrong one
}

QString vzA_PasswordDialog::password() const
{
    return passwordEdit->text();
}
