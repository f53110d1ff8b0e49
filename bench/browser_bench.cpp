// SPDX-License-Identifier: GPL-3.0-or-later
// The image browser's listing of one folder inside an image, exactly as the
// page makes it (ListImageDirectory, then the table model filled in one
// reset and the first screen of rows asked for), against "wimlib-imagex dir"
// of the same folder, in one run. Run by bench/browser.sh.
//
// usage: kestrel-browser-bench LIBWIMGAPI WIM IMAGE PATH RUNS
#include "imaging/binding.h"
#include "imaging/resources.h"
#include "pages/core/browserlisting.h"
#include "pages/core/browsermodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

int countEntry(const struct wimlib_dir_entry*, void* count)
{
    ++*static_cast<size_t*>(count);
    return 0;
}

// wimlib alone in this process: open, walk the folder's children, free.
qint64 wimlibOnce(const QString& wim, uint32_t image, const QString& path)
{
    QElapsedTimer clock;
    clock.start();
    WIMStruct* raw = nullptr;
    size_t count = 0;
    if (WimlibApi.wimlib_open_wim(QFile::encodeName(wim).constData(), 0, &raw) != 0)
        return -1;
    const int rc = WimlibApi.wimlib_iterate_dir_tree(raw, int(image), path.toUtf8().constData(),
                                                     WIMLIB_ITERATE_DIR_TREE_FLAG_CHILDREN, countEntry, &count);
    WimlibApi.wimlib_free(raw);
    return rc == 0 ? clock.nsecsElapsed() : -1;
}

struct Times {
    qint64 cold = -1;  // open, load, list, fill the model: until the rows show
    qint64 warm = -1;  // the same folder again with the image still loaded
    qint64 close = -1; // letting the image go, as the page does on leaving it
};

void keepBest(qint64& best, qint64 value)
{
    best = best < 0 ? value : std::min(best, value);
}

qint64 showRows(ImageDirectoryReader& reader, const QString& wim, uint32_t image, const QString& inside, size_t* rows)
{
    QElapsedTimer clock;
    clock.start();
    BrowserListing listing = reader.list(wim, image, inside, QString());
    *rows = listing.rows.size();
    BrowserModel model;
    model.setListing(std::move(listing.rows));
    // What the view asks for one screen of rows.
    for (int r = 0; r < std::min(40, model.rowCount()); ++r) {
        for (int c = 0; c < BrowserModel::kColumnCount; ++c)
            (void)model.data(model.index(r, c));
    }
    return clock.nsecsElapsed();
}

// The page's listing exactly as it runs on its worker.
void listOnce(const QString& wim, uint32_t image, const QString& path, size_t* rows, Times& best)
{
    QString inside = path;
    inside.replace(u'/', u'\\');
    if (inside == QLatin1String("\\"))
        inside.clear();
    ImageDirectoryReader reader;
    keepBest(best.cold, showRows(reader, wim, image, inside, rows));
    keepBest(best.warm, showRows(reader, wim, image, inside, rows));
    QElapsedTimer clock;
    clock.start();
    reader.close();
    keepBest(best.close, clock.nsecsElapsed());
}

qint64 imagexOnce(const QString& wim, uint32_t image, const QString& path)
{
    QElapsedTimer clock;
    clock.start();
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(QStringLiteral("wimlib-imagex"),
            {QStringLiteral("dir"), wim, QString::number(image), QStringLiteral("--path=") + path});
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        return -1;
    return clock.nsecsElapsed();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s LIBWIMGAPI WIM IMAGE PATH RUNS\n", argv[0]);
        return 2;
    }
    BindingSources sources;
    sources.programCandidate = QString::fromLocal8Bit(argv[1]);
    // wimlib is bound by its carried name table, as in the program; no
    // module is loaded from memory.
    sources.carried = [](CarriedResource which) {
        return which == CarriedResource::WimlibNames ? UnpackCarriedResource(which) : QByteArray();
    };
    const auto binding = BindImagingFrom(sources);
    if (!binding || !binding->imaging.WIMFindFirstImageFile || !binding->wimlib.wimlib_iterate_dir_tree) {
        std::fprintf(stderr, "browser-bench: %s could not be bound\n", argv[1]);
        return 1;
    }
    ImagingApi = binding->imaging;
    WimlibApi = binding->wimlib;

    const QString wim = QString::fromLocal8Bit(argv[2]);
    const uint32_t image = uint32_t(std::atoi(argv[3]));
    const QString path = QString::fromLocal8Bit(argv[4]);
    const int runs = std::max(1, std::atoi(argv[5]));
    Times page;
    qint64 imagex = -1;
    qint64 wimlib = -1;
    size_t rows = 0;
    // Interleaved, so that both see the same state of the cache.
    for (int i = 0; i < runs; ++i) {
        listOnce(wim, image, path, &rows, page);
        const qint64 x = imagexOnce(wim, image, path);
        if (x < 0) {
            std::fprintf(stderr, "browser-bench: wimlib-imagex dir failed\n");
            return 1;
        }
        keepBest(imagex, x);
        keepBest(wimlib, wimlibOnce(wim, image, path));
    }
    std::printf("rows listed: %zu (the \"..\" row included), best of %d\n", rows, runs);
    std::printf("page, until the rows show:        %8.1f ms\n", page.cold / 1e6);
    std::printf("page, the same folder once more:  %8.1f ms (image still loaded)\n", page.warm / 1e6);
    std::printf("page, letting the image go:       %8.1f ms (on the worker, after the rows show)\n", page.close / 1e6);
    std::printf("wimlib-imagex dir (whole process): %7.1f ms\n", imagex / 1e6);
    std::printf("wimlib alone in this process (open, walk, free): %.1f ms\n", wimlib / 1e6);
    std::printf("ratio page / wimlib-imagex: %.2f until the rows show, %.2f with the image let go too "
                "(target <= 1.0; goal under 100 ms: %s)\n",
                double(page.cold) / double(imagex), double(page.cold + page.close) / double(imagex),
                page.cold < 100000000 ? "met" : "missed");
    return 0;
}
