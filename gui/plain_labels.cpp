// SPDX-License-Identifier: MIT
#include "plain_labels.h"

#include <QLabel>
#include <QWidget>

void showLabelsAsPlainText(QWidget* widget)
{
    for (QLabel* label : widget->findChildren<QLabel*>()) {
        label->setTextFormat(Qt::PlainText);
        label->setOpenExternalLinks(false);
    }
}
