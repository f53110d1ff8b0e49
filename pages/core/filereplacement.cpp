// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/filereplacement.h"

#include "common/errortext.h"
#include "common/textutil.h"
#include "imaging/imagingapi.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

FileReplacement::FileReplacement(const QString& path) : m_finalPath(path)
{
    if (path.isEmpty()) {
        m_done = true;
        return;
    }
    const QFileInfo info(path);
    m_replacing = info.isFile();
    // A link is replaced where it points, as writing through it would.
    if (m_replacing)
        m_finalPath = info.canonicalFilePath();
    m_writePath = m_finalPath + QStringLiteral(".kestrel-new");
}

FileReplacement::~FileReplacement()
{
    if (!m_done)
        QFile::remove(m_writePath);
}

bool FileReplacement::commit(QString* failure)
{
    if (m_done)
        return true;
    // A file that is replaced is replaced by the imaging layer, under the
    // same lock every writer of the file takes: a writer that holds it, a
    // read-write mount of the file or a file that changed places meanwhile
    // make it fail with EBUSY, and the old file keeps its permission bits.
    const bool moved = m_replacing && ImagingApi.WIMReplaceImageFile
        ? ImagingApi.WIMReplaceImageFile(Utf16(m_writePath), Utf16(m_finalPath), 0) != FALSE
        : std::rename(QFile::encodeName(m_writePath).constData(), QFile::encodeName(m_finalPath).constData()) == 0;
    if (!moved) {
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
