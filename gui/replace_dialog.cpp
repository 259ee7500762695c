// SPDX-License-Identifier: MIT
#include "replace_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

vzA_ReplaceDialog::vzA_ReplaceDialog(QWidget* parent) : QDialog(parent)
{
    // The layouts adopt the labels and fields; the buttons start as children.
    auto* searchLabel = new QLabel(tr("検索文字列"));
    auto* replaceLabel = new QLabel(tr("置換文字列"));
    auto* hintLabel = new QLabel;
    auto* replaceButton = new QPushButton(tr("置換"), this);
    auto* cancelButton = new QPushButton(tr("キャンセル"), this);

    auto* fieldGrid = new QGridLayout;
    auto* buttonRow = new QHBoxLayout;
    auto* mainLayout = new QVBoxLayout;

    QString hint;
    hint += tr("検索文字列を空にすることで、\n");
    hint += tr("ファイル名の先頭に文字列を付加することができます。");
    hintLabel->setText(hint);

    searchEdit = new QLineEdit;
    replaceEdit = new QLineEdit;
    searchEdit->setObjectName(QStringLiteral("searchEdit"));
    replaceEdit->setObjectName(QStringLiteral("replaceEdit"));
    replaceButton->setObjectName(QStringLiteral("replaceOkButton"));
    setObjectName(QStringLiteral("replaceDialog"));

    connect(replaceButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    searchLabel->setBuddy(searchEdit);
    replaceLabel->setBuddy(replaceEdit);

    fieldGrid->addWidget(searchLabel, 0, 0);
    fieldGrid->addWidget(searchEdit, 0, 1);
    fieldGrid->addWidget(replaceLabel, 1, 0);
    fieldGrid->addWidget(replaceEdit, 1, 1);

    buttonRow->addStretch(1);
    buttonRow->addWidget(replaceButton);
    buttonRow->addWidget(cancelButton);

    mainLayout->addLayout(fieldGrid);
    mainLayout->addWidget(hintLabel);
    mainLayout->addLayout(buttonRow);

    replaceButton->setDefault(true);
    setLayout(mainLayout);
    setWindowTitle(tr("置換"));
    searchEdit->setFocus(Qt::OtherFocusReason);
}

// Setting the focus when the dialog is shown, not when it closed, makes
// sure it lands in the search field before the window is activated; set on
// closing it raced with the main window taking the focus back.
void vzA_ReplaceDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    searchEdit->setFocus(Qt::OtherFocusReason);
}

QString vzA_ReplaceDialog::searchText() const
{
    return searchEdit->text();
}

QString vzA_ReplaceDialog::replaceText() const
{
    return replaceEdit->text();
}
