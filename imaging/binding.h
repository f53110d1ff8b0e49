// SPDX-License-Identifier: GPL-3.0-or-later
// Binding of the imaging layer (libwimgapi.so) and wimlib into the process-wide
// tables ImagingApi and WimlibApi (imaging/imagingapi.h).
#pragma once

#include "imaging/imagingapi.h"
#include "imaging/memorymodule.h"
#include "imaging/resources.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

// Binds the imaging layer and wimlib into ImagingApi and WimlibApi. Returns
// true when an imaging library from disk is loaded (mounting needs one).
// Candidates: libwimgapi.so in the system folder, then beside the program;
// the newer one goes first. A library of version 6.2 or later is bound fully;
// otherwise the first one that loads gives the mount entries and the carried
// build the others. wimlib comes from the system by name, else from the
// carried copy. Called once at start-up; the tables are read-only afterwards.
bool BindImagingLibraries(const QString& appDir);

// File version: the low 32 bits are major << 16 | minor, the high 32 bits
// build << 16 | revision, read from the name of the file `path` resolves to
// ("libwimgapi.so.10.0.19041.1"); 0 when the name carries no version.
uint64_t GetFileVersion(const QString& path);

// "-V10.0.19041.1", or an empty text when the file has no version.
QString FormatFileVersion(const QString& path);

// The component line of the mount page: the FUSE device, the fusermount
// helper with its version and the imaging library with its version, or
// language string 295 when only the carried build is bound.
QString DescribeImagingComponents();

// ---- The parts of the binding, also used by the tests and the benchmark ----

// The folder of the C library the process runs with ("/lib/x86_64-linux-gnu").
QString SystemLibraryFolder();

// A candidate's version for the ordering: its file version when the file is a
// shared object of this machine, else 0.
uint64_t CandidateVersion(const QString& path);

// Whether version a is newer than b: major and minor first, build and revision next.
bool IsNewerVersion(uint64_t a, uint64_t b);

// The 24 wimlib names in the order of the carried name table.
QStringList WimlibEntryNames();

using CarriedResourceSource = std::function<QByteArray(CarriedResource)>;

struct BindingSources {
    QString systemCandidate;  // A
    QString programCandidate; // B
    QByteArray wimlibName = "libwim.so.15";
    CarriedResourceSource carried = UnpackCarriedResource;
};

// Everything one binding loaded; unloads it when destroyed (the imaging
// libraries before wimlib, which they may depend on).
class ImagingBinding {
public:
    ImagingBinding();
    ~ImagingBinding();
    ImagingBinding(const ImagingBinding&) = delete;
    ImagingBinding& operator=(const ImagingBinding&) = delete;

    ImagingApiTable imaging;
    WimlibApiTable wimlib;
    QString diskLibraryPath; // empty when no library from disk is loaded
    bool fullBinding = false;
    bool carriedImagingLayer = false;
    bool carriedWimlib = false;

    bool hasDiskLibrary() const { return m_disk != nullptr; }

private:
    friend std::unique_ptr<ImagingBinding> BindImagingFrom(const BindingSources&);
    struct DlCloser {
        void operator()(void* h) const;
    };
    // Declared in load order; destroyed in reverse.
    std::unique_ptr<void, DlCloser> m_systemWimlib;
    MemoryModuleSlot m_wimlibSlot;
    std::unique_ptr<void, DlCloser> m_disk;
    MemoryModuleSlot m_imagingSlot;
};

std::unique_ptr<ImagingBinding> BindImagingFrom(const BindingSources& sources);

// The component line for a binding whose disk library is `diskLibraryPath`
// (empty: only the carried build).
QString DescribeImagingComponents(const QString& diskLibraryPath);
