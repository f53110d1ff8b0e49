// SPDX-License-Identifier: GPL-3.0-or-later
// One capture exactly as the capture page runs it: StartCapture fills the
// page's record and CaptureWorker runs on the process's worker thread, with
// the progress callbacks on (no windows to show them). Run by
// bench/capture.sh against wimlib-imagex capture on the same tree.
//
// usage: kestrel-capture-bench LIBWIMGAPI TREE OUT.wim COMPRESSION(0..3)
#include "imaging/binding.h"
#include "imaging/taskcontext.h"
#include "pages/core/captureworker.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s LIBWIMGAPI TREE OUT.wim COMPRESSION\n", argv[0]);
        return 2;
    }
    BindingSources sources;
    sources.programCandidate = QString::fromLocal8Bit(argv[1]);
    sources.carried = [](CarriedResource) { return QByteArray(); };
    const auto binding = BindImagingFrom(sources);
    if (!binding || !binding->imaging.WIMCaptureImage) {
        std::fprintf(stderr, "capture-bench: %s could not be bound\n", argv[1]);
        return 1;
    }
    ImagingApi = binding->imaging;
    WimlibApi = binding->wimlib;

    OperationTask task;
    CaptureRequest request;
    request.source = QString::fromLocal8Bit(argv[2]);
    request.target = QString::fromLocal8Bit(argv[3]);
    request.compression = uint32_t(std::atoi(argv[4]));
    request.name = QStringLiteral("bench");
    request.noConfiguration = true;
    if (!StartCapture(task, request)) {
        std::fprintf(stderr, "capture-bench: the capture did not start\n");
        return 1;
    }
    TaskWorker().join();
    return task.Succeeded ? 0 : 1;
}
