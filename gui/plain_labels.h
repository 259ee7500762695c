// SPDX-License-Identifier: MIT
// Texts that carry names from an archive or from the disk are shown as they
// are. A QLabel left to guess would take a name such as "<b>a</b>.txt" or
// "<a href=...>" for markup and show something else than the file it means,
// or even a link that opens a browser.
#pragma once

class QWidget;

// Makes every label of widget (a message box, a progress dialog) show its
// text as plain text. Call it after the widget's texts are set: a message box
// makes its informative label only when given an informative text.
void showLabelsAsPlainText(QWidget* widget);
