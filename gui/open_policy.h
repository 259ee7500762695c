// SPDX-License-Identifier: MIT
// Which extracted files the desktop's opener may be handed. The opener runs
// what it is given by its type: a .desktop file launches its Exec line, a
// script or a program may be run outright. A file from an archive is never
// handed over as such if it could run; its folder is opened instead, where
// the user sees it for what it is.
#pragma once

#include <QByteArray>
#include <QString>

// True when the file named name, starting with head (its first bytes), is a
// desktop entry, a script ("#!"), an ELF program or a PE (Windows) program,
// or carries the suffix of one that runs (.sh, .exe, .bat, .jar, ...).
bool mayRunWhenOpened(const QString& name, const QByteArray& head);
