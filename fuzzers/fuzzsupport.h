#pragma once

// What the fuzz targets share: a way to stop on a broken promise, the
// engine's scan held to the tests' plain model of it on every picture, and
// for the targets that load pictures, a quiet Qt and a scratch file.

#include "reference.h"
#include "stego/body.h"
#include "stego/message.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#ifdef QT_CORE_LIB
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#endif

namespace fuzz {

// Stops the run with a readable reason; libFuzzer keeps the input that did it.
[[noreturn]] inline void fail(const char* what, const std::string& detail = {})
{
    std::fprintf(stderr, "broken promise: %s %s\n", what, detail.c_str());
    std::abort();
}

inline std::string outcomeName(stego::ReadOutcome outcome) { return "outcome " + std::to_string(int(outcome)); }

// Holds the engine's scan of `surface` to the plain one.
inline void checkScan(const stego::ConstPixelSurface& surface)
{
    const stego::ReadResult fast = stego::readMessage(surface);
    const stego::ReadResult plain = stegotest::referenceRead(surface);
    if (fast.outcome != plain.outcome)
        fail("scan outcome differs:", outcomeName(fast.outcome) + " instead of " + outcomeName(plain.outcome));
    if (fast.text != plain.text)
        fail("scan text differs, length", std::to_string(fast.text.size()) + " instead of " + std::to_string(plain.text.size()));
    // A body's encoding told as it arrives in pieces is the one told whole.
    stego::BodyClassifier pieces;
    pieces.feed(std::string_view(fast.text).substr(0, fast.text.size() / 3));
    pieces.feed(std::string_view(fast.text).substr(fast.text.size() / 3));
    if (pieces.encoding() != stego::bodyEncoding(fast.text))
        fail("a body's encoding differs when told in pieces");
}

#ifdef QT_CORE_LIB
// The image format plugins are found through the application's library
// paths; decoder warnings about broken files are the expected case here, not news.
inline void startQt(int* argc, char*** argv)
{
    static QCoreApplication application(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}

// The path of a file holding `bytes`.  Memory-backed where the system offers
// it; the file loses its name at once and is reached through its descriptor,
// so a run that ends in a crash leaves nothing behind.
inline QString scratchWith(const QByteArray& bytes)
{
    static const std::unique_ptr<QTemporaryFile> file = [] {
        const QString folder = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        auto made = std::make_unique<QTemporaryFile>(folder + QStringLiteral("/mirrorvane-fuzz-XXXXXX"));
        if (!made->open() || !QFile::remove(made->fileName()))
            fail("cannot create the scratch file in", folder.toStdString());
        return made;
    }();
    if (!file->resize(0) || !file->seek(0) || file->write(bytes) != bytes.size() || !file->flush())
        fail("cannot write the scratch file");
    return QStringLiteral("/proc/self/fd/%1").arg(file->handle());
}
#endif

}  // namespace fuzz
