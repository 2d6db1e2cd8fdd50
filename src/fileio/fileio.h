#pragma once

// Reading and writing the user's files safely.
//
// Reading: only regular files are opened, so a FIFO or a device that carries
// a picture's or a text's name cannot hang the program in open() or read().
//
// Writing: a file is replaced only when its whole new content is on disk.
// The bytes go to a temporary file beside the target, every write is
// checked, the temporary is synced and only then renamed over the target.
// On any failure the target is untouched and the temporary removed.  This
// is what QSaveFile promises, minus two faults of the Qt versions we build
// against: commit() does not check the flush of its last buffered block (a
// nearly full disk loses the tail and reports success), and its temporary
// is the target's name plus six characters, so a target whose name is near
// the file system's 255-byte limit cannot be replaced.
//
// Every reason returned is one phrase for the user, the system's own where
// there is one ("No space left on device", "Permission denied").

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QFileDevice>
#include <QIODevice>
#include <QString>

#include <functional>
#include <memory>

class QIODevice;

namespace fileio {

// Opens `path` for reading when it is a regular file, or a link to one,
// without ever blocking on a FIFO or device.  `file` must not be open; on
// success it is open read-only, unbuffered too when asked (for positioned
// reads).  Returns an empty string on success, or the reason.
QString openRegularFile(QFile& file, const QString& path, QIODevice::OpenMode extraMode = {});

struct ReadResult {
    QByteArray bytes;
    QString error;  // empty on success
    bool ok() const { return error.isEmpty(); }
};

// The whole content of the regular file `path`, read in one go.  A file of
// more than `maxBytes` is refused before anything is read.
ReadResult readRegularFile(const QString& path, qint64 maxBytes);

// The reason a file cannot be written over `path` before anything is
// written, or empty: an existing name that is not a regular file (a FIFO, a
// device, a folder) is never replaced.
QString unwritableTargetReason(const QString& path);

// A file written in full, or not at all.
//
//     fileio::AtomicFile file(path);
//     if (!file.open() || !file.write(bytes) || !file.commit())
//         return file.errorString();
//
// After the first failure every later call fails too and keeps the first
// reason, so a writer may check once at the end.  A link is followed: the
// file it points to is replaced and the link kept.  A new file gets the
// permissions the process's umask allows; a replaced one keeps its own.
class AtomicFile {
public:
    explicit AtomicFile(const QString& path);
    ~AtomicFile();  // removes the temporary unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool open();
    bool write(QByteArrayView bytes);
    // Appends the first `size` bytes of `source` (open, positioned reads),
    // in the kernel where the system can copy file to file, else in blocks;
    // a source shorter than `size` fails.
    bool copyFrom(QFileDevice& source, qint64 size);
    // Overwrites what was written so far at `offset`, leaving later appends
    // where they were: for patching a copy.
    bool writeAt(qint64 offset, QByteArrayView bytes);
    // A write-only device over the temporary, for writers that want one
    // (QImageWriter, a PNG encoder); its writes count as write() calls.
    QIODevice* device();
    bool commit();
    // Drops what was written; the target stays as it was.
    void cancel();

    QString errorString() const { return m_error; }

private:
    class Device;
    bool fail(const QString& reason);

    QString m_path;        // as given
    QString m_targetPath;  // the file to replace, links followed
    QString m_tempPath;
    QFile m_temp;
    std::unique_ptr<Device> m_device;
    QString m_error;
    bool m_committed = false;
};

// One call: an empty string when `bytes` replaced `path`, else the reason.
QString writeFileAtomically(const QString& path, QByteArrayView bytes);

// The same for a writer that produces the file through a device: `write`
// returns an empty string or its own reason, and a write the file refused
// is reported with the system's reason rather than the writer's.
QString writeFileAtomically(const QString& path, const std::function<QString(QIODevice&)>& write);

}  // namespace fileio
