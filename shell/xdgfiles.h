// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user freedesktop folders the shell integration writes into, and
// the two ways it changes a file there: whole and atomically, or not at all.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// $XDG_DATA_HOME (default ~/.local/share) and $XDG_CONFIG_HOME (default
// ~/.config), without a trailing "/".
QString XdgDataHome();
QString XdgConfigHome();

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path`, making the missing folders first; an executable file gets the
// execute bits. Readers see the old file or the new one, never a part.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, bool executable = false);

// The whole file, or nothing when it cannot be read or is larger than
// `limit` bytes (these files are small; a huge one is not ours).
std::optional<QByteArray> ReadSmallFile(const QString& path, qint64 limit = 1 << 20);

// Removes the file; false when it was not there or cannot be removed.
bool RemoveFileIfPresent(const QString& path);

// Runs a desktop tool (update-mime-database, update-desktop-database) and
// waits for it up to `timeoutMs`; false when it is missing, fails or hangs.
bool RunDesktopTool(const QString& program, const QStringList& arguments, int timeoutMs = 30000);

// The program named by the Exec line of a desktop-entry style file: its
// first word, double quotes removed; empty when there is none.
QString ExecProgramOf(const QByteArray& entryText, const QString& key = QStringLiteral("Exec"));
