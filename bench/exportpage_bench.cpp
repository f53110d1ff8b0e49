// SPDX-License-Identifier: GPL-3.0-or-later
// Runs one task of the export page, offscreen, exactly as a click on its
// start button would, and waits for its end (bench/exportpage.sh times it).
//
//   kestrel-exportpage-bench DIR export SRC INDEX TARGET COMPRESSION
//   kestrel-exportpage-bench DIR convert SRC TARGET COMPRESSION
// DIR is the program folder holding the imaging layer; COMPRESSION is the
// compression box's entry (0 none, 1 XPRESS, 2 LZX, 3 LZMS). Exits 0 when
// the task's overall line reports success. With KESTREL_TASK_TIME set, writes
// the task's wall and CPU seconds (from the click to its end) to that file.
#include "common/appdirectory.h"
#include "common/language.h"
#include "common/settings.h"
#include "imaging/binding.h"
#include "imaging/resources.h"
#include "pages/exportpage.h"
#include "ui/drawing.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>

#include <cstdio>

#include <sys/resource.h>

int main(int argc, char** argv)
{
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s DIR export SRC INDEX TARGET COMPRESSION | DIR convert SRC TARGET COMPRESSION\n",
                     argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QString task = QString::fromLocal8Bit(argv[2]);
    const bool exporting = task == QLatin1String("export");
    if (exporting && argc < 7)
        return 2;
    SetApplicationDirectory(dir);
    LoadSettings(dir);
    UseCarriedLanguage();
    LoadLanguage();
    if (!BindImagingLibraries(dir)) {
        std::fprintf(stderr, "the imaging libraries could not be bound from %s\n", argv[1]);
        return 1;
    }
    InitDrawingResources();

    ExportPage page;
    page.show();
    page.chooseTask(exporting ? ExportTask::Export : ExportTask::Optimize);
    page.findChild<QLineEdit*>(QStringLiteral("source"))->setText(QString::fromLocal8Bit(argv[3]));
    const int targetArg = exporting ? 5 : 4;
    const int compression = QString::fromLocal8Bit(argv[targetArg + 1]).toInt();
    page.findChild<QComboBox*>(QStringLiteral("compression"))->setCurrentIndex(compression);
    if (exporting)
        page.findChild<QSpinBox*>(QStringLiteral("imageNumber"))->setValue(QString::fromLocal8Bit(argv[4]).toInt());
    page.findChild<QLineEdit*>(QStringLiteral("target"))->setText(QString::fromLocal8Bit(argv[targetArg]));
    const auto cpuSeconds = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    };
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = cpuSeconds();
    page.startTask();
    if (!page.isRunning())
        return 1;
    // Waits in an idle event loop, as the window does (a processEvents()
    // loop would spin and bill a whole processor to the page), and ends as
    // soon as the page unlocks at the task's end: a polling timer would add
    // its period to the time.
    QEventLoop loop;
    QObject::connect(&page, &KestrelPage::lockChanged, &loop, [&](bool locked) {
        if (!locked)
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    // The task's own time, from the click to its end, as a user waits with
    // the window already open (bench/pairtimer.sh reads it).
    if (const QByteArray timeFile = qgetenv("KESTREL_TASK_TIME"); !timeFile.isEmpty()) {
        if (std::FILE* f = std::fopen(timeFile.constData(), "w")) {
            std::fprintf(f, "%.3f %.3f\n", double(clock.nsecsElapsed()) / 1e9, cpuSeconds() - cpuBefore);
            std::fclose(f);
        }
    }
    const int overall = exporting ? 112 : 353;
    const bool ok = page.messageBox()->toPlainText().contains(GetLanguageString(overall) + GetLanguageString(21));
    if (!ok)
        std::fprintf(stderr, "%s\n", qPrintable(page.messageBox()->toPlainText()));
    return ok ? 0 : 1;
}
