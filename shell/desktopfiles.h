// SPDX-License-Identifier: GPL-3.0-or-later
// The texts of the files through which file managers find Kestrel: the mime
// package, the thumbnailer, the menu actions of Dolphin, Nemo, Thunar and
// Nautilus, and the desktop entry that opens an image file.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

inline constexpr auto kImageMimeType = "application/x-ms-wim";
inline constexpr auto kOpenDesktopId = "kestrel-open.desktop";
// The unique ids of Kestrel's two Thunar actions start with this.
inline constexpr auto kThunarIdPrefix = "kestrel-wim-menu";

// application/x-ms-wim for *.wim, *.swm and *.esd, recognised by its
// "MSWIM" header as well.
QByteArray MimePackageText();

// A freedesktop thumbnailer running `host --thumbnail SIZE IN OUT`.
QByteArray ThumbnailerText(const QString& host);

// The menu entry `name` running `host --menu PATH` for image files and
// folders.
QByteArray DolphinServiceMenuText(const QString& host, const QString& name);
QByteArray NemoActionText(const QString& host, const QString& name);
QByteArray NautilusScriptText(const QString& host);

// Thunar keeps every custom action in one file, uca.xml: `current` with
// Kestrel's actions put in (replacing earlier ones of Kestrel) or taken out;
// the other actions stay as they were. Nothing when `current` is not an
// actions document (it is left alone then). `changed` says whether Kestrel
// had actions in it.
std::optional<QByteArray> ThunarActionsWith(const QByteArray& current, const QString& host, const QString& name);
std::optional<QByteArray> ThunarActionsWithout(const QByteArray& current, bool* hadOurs);
bool ThunarActionsHaveOurs(const QByteArray& current);

// The hidden desktop entry that opens image files with `program /OpenFile`.
QByteArray OpenDesktopEntryText(const QString& program, const QString& name, const QString& comment);
