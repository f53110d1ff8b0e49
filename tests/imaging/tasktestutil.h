// SPDX-License-Identifier: GPL-3.0-or-later
// A window that records what an operation shows, for the machinery tests.
#pragma once

#include "common/language.h"
#include "imaging/taskwindow.h"

#include <QStringList>
#include <mutex>

struct RecordingWindow : TaskWindow {
    mutable std::mutex mutex;
    QStringList texts;    // setText, in order
    QStringList appended; // appendText, in order
    QList<int> percents;
    QStringList percentTexts;

    void setText(const QString& text) override
    {
        std::lock_guard lock(mutex);
        texts.append(text);
    }
    void appendText(const QString& text) override
    {
        std::lock_guard lock(mutex);
        appended.append(text);
    }
    void setPercent(int percent, const QString& text) override
    {
        std::lock_guard lock(mutex);
        percents.append(percent);
        percentTexts.append(text);
    }
    QString lastText() const
    {
        std::lock_guard lock(mutex);
        return texts.isEmpty() ? QString() : texts.last();
    }
    int textCount() const
    {
        std::lock_guard lock(mutex);
        return int(texts.size());
    }
    QString log() const
    {
        std::lock_guard lock(mutex);
        return appended.join(QString());
    }
};

inline void LoadDefaultLanguageForTests()
{
    static const bool loaded = LoadLanguageFromFile(QStringLiteral(KESTREL_SOURCE_DIR "/resources/lang/Default.INI"));
    (void)loaded;
}
