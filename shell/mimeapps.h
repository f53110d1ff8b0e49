// SPDX-License-Identifier: GPL-3.0-or-later
// The user's mimeapps.list ($XDG_CONFIG_HOME/mimeapps.list): which desktop
// entry opens a type by default, and which are offered for it. Only the
// entries asked for change; every other line of the file, another
// program's included, is written back as it was.
#pragma once

#include <QString>
#include <QStringList>

class MimeAppsList {
public:
    static QString defaultPath();

    // An empty list when the file does not exist; false when it exists and
    // cannot be read.
    bool load(const QString& path);
    bool save() const;
    QString text() const;

    // The desktop entries of `type` in a group ("Default Applications",
    // "Added Associations"), in order.
    QStringList entries(const QString& group, const QString& type) const;
    // Puts `desktopId` first in the group's list for the type.
    void putFirst(const QString& group, const QString& type, const QString& desktopId);
    // Puts `desktopId` last in the list, unless it is in it already.
    void append(const QString& group, const QString& type, const QString& desktopId);
    // Takes `desktopId` out of the list; a list left empty goes with its key.
    // False when it was not there.
    bool remove(const QString& group, const QString& type, const QString& desktopId);

private:
    int findGroup(const QString& group) const;
    int findKey(int groupLine, const QString& type) const;
    void setEntries(const QString& group, const QString& type, const QStringList& ids);

    QString m_path;
    QStringList m_lines;
};

inline constexpr auto kDefaultApplications = "Default Applications";
inline constexpr auto kAddedAssociations = "Added Associations";
