// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up cost of the carried modules: unpacking each one, loading it from
// memory, and the whole binding in its slowest form (everything carried).
// Prints the median of several runs in milliseconds. Run by bench/startup.sh.
#include "imaging/binding.h"
#include "imaging/memorymodule.h"
#include "imaging/resources.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double MedianMs(int runs, const std::function<void()>& step)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        step();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

void Report(const char* what, double ms)
{
    std::printf("%-48s %8.2f ms\n", what, ms);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;

    const QByteArray wimlib = UnpackCarriedResource(CarriedResource::WimlibModule);
    const QByteArray layer = UnpackCarriedResource(CarriedResource::ImagingLayer);
    std::printf("carried wimlib %lld bytes, imaging layer %lld bytes; median of %d runs\n",
                (long long)wimlib.size(), (long long)layer.size(), runs);

    Report("unpack wimlib", MedianMs(runs, [] { UnpackCarriedResource(CarriedResource::WimlibModule); }));
    Report("unpack imaging layer", MedianMs(runs, [] { UnpackCarriedResource(CarriedResource::ImagingLayer); }));
    Report("unpack wimlib name table", MedianMs(runs, [] { UnpackCarriedResource(CarriedResource::WimlibNames); }));
    Report("load wimlib from memory (RTLD_GLOBAL)", MedianMs(runs, [&] {
               MemoryModuleSlot slot;
               LoadModuleFromMemory(slot, wimlib, true);
           }));
    Report("load wimlib + imaging layer from memory", MedianMs(runs, [&] {
               MemoryModuleSlot w;
               MemoryModuleSlot l;
               LoadModuleFromMemory(w, wimlib, true);
               LoadModuleFromMemory(l, layer);
           }));

    // The whole binding when nothing is found on disk and the system has no
    // wimlib: both modules unpacked and loaded from memory.
    BindingSources carriedOnly;
    carriedOnly.wimlibName.clear();
    bool complete = true;
    Report("bind, everything carried (unpack + load)", MedianMs(runs, [&] {
               const auto b = BindImagingFrom(carriedOnly);
               complete = complete && b->carriedWimlib && b->carriedImagingLayer;
           }));
    // The usual case: system wimlib, no library on disk, carried imaging layer.
    BindingSources usual;
    Report("bind, system wimlib + carried imaging layer", MedianMs(runs, [&] { BindImagingFrom(usual); }));
    if (!complete) {
        std::fprintf(stderr, "startup-bench: the carried modules did not all load\n");
        return 1;
    }
    return 0;
}
