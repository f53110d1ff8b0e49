// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/mimeapps.h"

#include "shell/xdgfiles.h"

#include <QFileInfo>

QString MimeAppsList::defaultPath()
{
    return XdgConfigHome() + QStringLiteral("/mimeapps.list");
}

bool MimeAppsList::load(const QString& path)
{
    m_path = path;
    m_lines.clear();
    if (!QFileInfo::exists(path))
        return true;
    const std::optional<QByteArray> bytes = ReadSmallFile(path);
    if (!bytes)
        return false;
    m_lines = QString::fromUtf8(*bytes).split(QLatin1Char('\n'));
    // The text's last line end gives an empty last piece.
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
    return true;
}

QString MimeAppsList::text() const
{
    return m_lines.isEmpty() ? QString() : m_lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool MimeAppsList::save() const
{
    return WriteFileAtomically(m_path, text().toUtf8());
}

int MimeAppsList::findGroup(const QString& group) const
{
    const QString header = QLatin1Char('[') + group + QLatin1Char(']');
    for (int i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].trimmed() == header)
            return i;
    }
    return -1;
}

int MimeAppsList::findKey(int groupLine, const QString& type) const
{
    for (int i = groupLine + 1; i < m_lines.size(); ++i) {
        const QString line = m_lines[i].trimmed();
        if (line.startsWith(QLatin1Char('[')))
            break;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && line.left(eq).trimmed() == type)
            return i;
    }
    return -1;
}

QStringList MimeAppsList::entries(const QString& group, const QString& type) const
{
    const int g = findGroup(group);
    const int k = g < 0 ? -1 : findKey(g, type);
    if (k < 0)
        return {};
    const QString value = m_lines[k].mid(m_lines[k].indexOf(QLatin1Char('=')) + 1).trimmed();
    QStringList ids;
    for (const QString& id : value.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        ids << id.trimmed();
    return ids;
}

void MimeAppsList::setEntries(const QString& group, const QString& type, const QStringList& ids)
{
    int g = findGroup(group);
    if (g < 0) {
        if (ids.isEmpty())
            return;
        if (!m_lines.isEmpty() && !m_lines.last().trimmed().isEmpty())
            m_lines << QString();
        m_lines << QLatin1Char('[') + group + QLatin1Char(']');
        g = int(m_lines.size()) - 1;
    }
    const int k = findKey(g, type);
    const QString line = type + QLatin1Char('=') + ids.join(QLatin1Char(';')) + QLatin1Char(';');
    if (k >= 0) {
        if (ids.isEmpty())
            m_lines.removeAt(k);
        else
            m_lines[k] = line;
        return;
    }
    if (ids.isEmpty())
        return;
    // After the group's last entry, before the blank lines that end it.
    int at = g + 1;
    for (int i = g + 1; i < m_lines.size() && !m_lines[i].trimmed().startsWith(QLatin1Char('[')); ++i) {
        if (!m_lines[i].trimmed().isEmpty())
            at = i + 1;
    }
    m_lines.insert(at, line);
}

void MimeAppsList::putFirst(const QString& group, const QString& type, const QString& desktopId)
{
    QStringList ids = entries(group, type);
    ids.removeAll(desktopId);
    ids.prepend(desktopId);
    setEntries(group, type, ids);
}

void MimeAppsList::append(const QString& group, const QString& type, const QString& desktopId)
{
    QStringList ids = entries(group, type);
    if (ids.contains(desktopId))
        return;
    ids << desktopId;
    setEntries(group, type, ids);
}

bool MimeAppsList::remove(const QString& group, const QString& type, const QString& desktopId)
{
    QStringList ids = entries(group, type);
    if (ids.removeAll(desktopId) == 0)
        return false;
    setEntries(group, type, ids);
    return true;
}
