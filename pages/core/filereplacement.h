// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a file that may replace one already there: the new content goes
// into a file beside the target, which takes the target's name only once it
// is complete, so that a failed or stopped operation leaves an old file as it
// was and no partial file under the target's name.
#pragma once

#include <QString>

class FileReplacement {
public:
    // `path` is the file to write; an empty path makes an inactive
    // replacement (nothing to write beside, commit() has nothing to do).
    // writePath() names a file beside the target (in the same folder, so
    // that the rename that puts it in place is atomic).
    explicit FileReplacement(const QString& path);
    // Removes the file beside the target unless commit() put it in place.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Whether a file was there to be replaced when this was made.
    bool replacing() const { return m_replacing; }
    const QString& writePath() const { return m_writePath; }
    const QString& finalPath() const { return m_finalPath; }

    // Puts the written file in place of the target. False, with `failure`
    // saying why, when the rename fails; an old file is then unchanged.
    bool commit(QString* failure);

private:
    QString m_finalPath;
    QString m_writePath;
    bool m_replacing = false;
    bool m_done = false;
};
