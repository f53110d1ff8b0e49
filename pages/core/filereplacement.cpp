// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/filereplacement.h"

#include "common/errortext.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

FileReplacement::FileReplacement(const QString& path) : m_finalPath(path), m_writePath(path)
{
    const QFileInfo info(path);
    m_replacing = info.isFile();
    if (m_replacing) {
        // A link is replaced where it points, as writing through it would.
        m_finalPath = info.canonicalFilePath();
        m_writePath = m_finalPath + QStringLiteral(".kestrel-new");
    }
}

FileReplacement::~FileReplacement()
{
    if (m_replacing && !m_done)
        QFile::remove(m_writePath);
}

bool FileReplacement::commit(QString* failure)
{
    if (!m_replacing)
        return true;
    if (std::rename(QFile::encodeName(m_writePath).constData(), QFile::encodeName(m_finalPath).constData()) != 0) {
        const int saved = errno;
        if (failure)
            *failure = QStringLiteral("the new file could not take the place of ") + m_finalPath + QStringLiteral(": ")
                + ErrnoText(saved);
        errno = saved;
        return false;
    }
    m_done = true;
    return true;
}
