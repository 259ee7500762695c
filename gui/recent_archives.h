// SPDX-License-Identifier: MIT
// What the program keeps between runs, in its QSettings ("vza",
// "vza-extract"): the archives read last, for the 最近使ったファイル menu, and
// the window's size and place.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The archives read last, newest first, at most MaxRecentArchives.
constexpr int MaxRecentArchives = 10;
QStringList recentArchives();
// Puts path (absolute) first, dropping an older mention and the oldest.
void rememberRecentArchive(const QString& path);

// The window's geometry as QWidget::saveGeometry gives it; empty when none.
QByteArray savedWindowGeometry();
void saveWindowGeometry(const QByteArray& geometry);
