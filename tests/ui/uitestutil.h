// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the window tests: answering modal dialogs and writing language
// files.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <ostream>

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

// Runs `act` on the first modal widget that opens (the call that opens it
// blocks the test, so this is scheduled before). Gives up after ~5 s of
// polling, closing nothing, so a missing dialog fails the test's checks.
inline void WhenModal(std::function<void(QWidget*)> act)
{
    auto tries = std::make_shared<int>(0);
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [act = std::move(act), tries, poll] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            act(w);
            *poll = nullptr; // break the cycle
            return;
        }
        if (++*tries < 500)
            QTimer::singleShot(10, *poll);
        else
            *poll = nullptr;
    };
    QTimer::singleShot(0, *poll);
}

// Writes text as UTF-16LE with the byte-order mark, as language files are.
inline bool WriteUtf16File(const QString& path, const QString& text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray bytes("\xFF\xFE", 2);
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return f.write(bytes) == bytes.size();
}

inline QString DefaultLanguageFile()
{
    return QStringLiteral(KESTREL_SOURCE_DIR "/resources/lang/Default.INI");
}
