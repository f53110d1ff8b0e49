// SPDX-License-Identifier: GPL-3.0-or-later
// Test entry point: moves HOME and the XDG folders into a temporary folder
// before anything reads them, creates the Qt application object, runs the
// GoogleTest cases and removes the folder again.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#ifdef KESTREL_TEST_GUI
#include <QApplication>
#else
#include <QCoreApplication>
#endif

#include <cstdlib>

int main(int argc, char** argv)
{
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/kestrel-test-XXXXXX"));
    if (!home.isValid())
        return 3;
    const QByteArray root = QFile::encodeName(home.path());
    ::setenv("HOME", root.constData(), 1);
    for (const char* sub : {"config", "state", "data", "cache"}) {
        const QByteArray dir = root + "/." + sub;
        QDir().mkpath(QString::fromLocal8Bit(dir));
        const QByteArray var = QByteArray("XDG_") + QByteArray(sub).toUpper() + "_HOME";
        ::setenv(var.constData(), dir.constData(), 1);
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);

    testing::InitGoogleTest(&argc, argv);
#ifdef KESTREL_TEST_GUI
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
