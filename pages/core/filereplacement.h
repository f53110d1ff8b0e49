// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a file that replaces one already there: the new content goes into
// a file beside it, which takes the old one's place only once it is
// complete, so that a failed or stopped operation leaves the old file as it
// was.
#pragma once

#include <QString>

class FileReplacement {
public:
    // `path` is the file to write. When a file is there already, writePath()
    // names a file beside it (in the same folder, so that the rename that
    // puts it in place is atomic); otherwise it is `path` itself.
    explicit FileReplacement(const QString& path);
    // Removes the file beside the old one unless commit() put it in place.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    bool replacing() const { return m_replacing; }
    const QString& writePath() const { return m_writePath; }
    const QString& finalPath() const { return m_finalPath; }

    // Puts the written file in place of the old one (nothing to do when no
    // file was replaced). False, with `failure` saying why, when the rename
    // fails; the old file is then unchanged.
    bool commit(QString* failure);

private:
    QString m_finalPath;
    QString m_writePath;
    bool m_replacing = false;
    bool m_done = false;
};
