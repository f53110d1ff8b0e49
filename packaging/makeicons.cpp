// SPDX-License-Identifier: GPL-3.0-or-later
// Build-time tool: writes the program icon, as the window draws it, into a
// hicolor icon tree: OUT/<n>x<n>/apps/kestrel.png, and the same picture as
// the icon of image files (mimetypes/application-x-ms-wim.png).
#include "ui/drawing.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestrel-makeicons OUT\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QIcon icon = ProgramIcon();
    for (const QSize& size : icon.availableSizes()) {
        const QString folder = out + QStringLiteral("/%1x%2").arg(size.width()).arg(size.height());
        const QPixmap picture = icon.pixmap(size);
        for (const QString& file : {QStringLiteral("/apps/kestrel.png"),
                                    QStringLiteral("/mimetypes/application-x-ms-wim.png")}) {
            const QString path = folder + file;
            if (!QDir().mkpath(QFileInfo(path).path()) || !picture.save(path, "PNG")) {
                std::fprintf(stderr, "kestrel-makeicons: cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
    }
    return 0;
}
