// SPDX-License-Identifier: GPL-3.0-or-later
// Runs one task of the export page, offscreen, exactly as a click on its
// start button would, and waits for its end (bench/exportpage.sh times it).
//
//   kestrel-exportpage-bench DIR export SRC INDEX TARGET COMPRESSION
//   kestrel-exportpage-bench DIR convert SRC TARGET COMPRESSION
// DIR is the program folder holding the imaging layer; COMPRESSION is the
// compression box's entry (0 none, 1 XPRESS, 2 LZX, 3 LZMS). Exits 0 when
// the task's overall line reports success.
#include "common/appdirectory.h"
#include "common/language.h"
#include "common/settings.h"
#include "imaging/binding.h"
#include "imaging/resources.h"
#include "pages/exportpage.h"
#include "ui/drawing.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTimer>

#include <cstdio>

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
    page.startTask();
    if (!page.isRunning())
        return 1;
    // Waits in an idle event loop, as the window does: a processEvents()
    // loop would spin and bill a whole processor to the page.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!page.isRunning())
            loop.quit();
    });
    poll.start(50);
    loop.exec();
    const int overall = exporting ? 112 : 353;
    const bool ok = page.messageBox()->toPlainText().contains(GetLanguageString(overall) + GetLanguageString(21));
    if (!ok)
        std::fprintf(stderr, "%s\n", qPrintable(page.messageBox()->toPlainText()));
    return ok ? 0 : 1;
}
