#pragma once

// Reading and writing the user's files safely.
//
// Reading: only regular files are opened, so a FIFO or a device that carries
// a picture's or a text's name cannot hang the program in open() or read().
// A stream the user means to give (standard input, `<(cat x.bmp)`) is read
// once into an unnamed copy, bounded, and the copy is read like a file.
//
// Writing: a file is replaced only when its whole new content is on disk.
// The bytes go to an unnamed temporary file (mode 0600) in the target's
// folder, every write is checked, the temporary gets the target's owner,
// mode, access control list and user attributes, is synced and only then
// linked in and renamed over the target.  On any failure the target is
// untouched and the temporary gone; a signal that stops the process leaves
// nothing either (a file system without unnamed files gets a hidden named
// temporary, which the stopping signals remove).  QSaveFile is no help: it
// ignores a failed flush of its last buffered block in the Qt versions we
// build against, names its temporary after the target (too long near the
// 255-byte limit), and creates it readable by others until it is complete.
//
// Links are followed by the kernel, so its protections apply (a link planted
// in a sticky, world-writable folder by another user is refused); the same
// rule is applied here for systems that leave that protection off.
//
// Every failure returned carries one phrase for the user, the system's own
// where there is one ("No space left on device", "Permission denied"); a
// failed read is Unreadable, a failed write Unwritable.

#include "failure.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QFileDevice>
#include <QIODevice>
#include <QString>

#include <functional>
#include <memory>

#include <sys/stat.h>

class QIODevice;

namespace fileio {

// Opens `path` for reading when it is a regular file, or a link to one,
// without ever blocking on a FIFO or device.  `file` must not be open; on
// success it is open read-only, unbuffered too when asked (for positioned
// reads).
[[nodiscard]] MaybeFailure openRegularFile(QFile& file, const QString& path, QIODevice::OpenMode extraMode = {});

// True when `path` names a FIFO, a socket or a character device: a stream
// that can be read once only.
bool isStream(const QString& path);

// How many bytes copyToUnnamedFile shows its `limit` at most.
inline constexpr qint64 kStreamHeadBytes = 256;

// Copies what the descriptor `input` gives into a new unnamed file in the
// temporary folder: nothing is left behind whatever stops the process.
// `limit` sees the first kStreamHeadBytes bytes (fewer when the input is
// shorter) and returns how many bytes to keep; reading stops there.  On
// success `copy` is open read-only (plus `extraMode`) at its start; its
// reopenableName() opens the same content again.  A failure to read the
// input is Unreadable, to keep the copy Unwritable.
[[nodiscard]] MaybeFailure copyToUnnamedFile(int input, QFile& copy, const std::function<qint64(QByteArrayView head)>& limit,
                          QIODevice::OpenMode extraMode = {});

// A name that opens the file `file` has open, for as long as it stays open,
// even when the file has no name of its own.
QString reopenableName(const QFileDevice& file);

// Why a file cannot be written over `path`, known before anything is
// written (Unwritable), or nothing: an existing name that is not a regular file (a FIFO, a
// device, a folder) is never replaced, nor a file the user may not write.
[[nodiscard]] MaybeFailure unwritableTarget(const QString& path);

// A file written in full, or not at all.
//
//     fileio::AtomicFile file(path);
//     if (!file.open() || !file.write(bytes) || !file.commit())
//         return file.errorString();
//
// After the first failure every later call fails too and keeps the first
// reason, so a writer may check once at the end.  A link is followed: the
// file it points to is replaced and the link kept.  A new file gets the
// permissions the process's umask allows; a replaced one keeps its owner,
// group, mode bits, access control list and user.* attributes, or the save
// fails with the reason.  A file the user may not write is refused
// ("Permission denied"), as `cp` would.
class AtomicFile {
public:
    explicit AtomicFile(const QString& path);
    ~AtomicFile();  // removes the temporary unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool open();
    bool write(QByteArrayView bytes);
    // Appends `size` bytes of `source` (open, positioned reads) from `from`
    // on, in the kernel where the system can copy file to file, else in
    // blocks; a source that ends before fails.
    bool copyFrom(QFileDevice& source, qint64 size, qint64 from = 0);
    // Overwrites what was written so far at `offset`, leaving later appends
    // where they were: for patching a copy.
    bool writeAt(qint64 offset, QByteArrayView bytes);
    // Bytes offset .. offset + size are final: the system may begin writing
    // them to disk now, so that commit's flush finds less left to wait for.
    // Only a hint; commit still flushes everything.
    void startWriteback(qint64 offset, qint64 size);
    // A write-only device over the temporary, for writers that want one
    // (QImageWriter, a PNG encoder); its writes count as write() calls.
    QIODevice* device();
    bool commit();
    // Drops what was written; the target stays as it was.
    void cancel();

    QString errorString() const { return m_error; }
    Failure failure() const { return unwritable(m_error); }

private:
    class Device;
    bool fail(const QString& reason);
    bool openTarget();
    bool openTemporary();
    bool giveName();

    QString m_path;             // as given
    int m_folder = -1;          // the folder of the file replaced (O_PATH)
    QString m_folderShown;      // its name, for reasons
    QByteArray m_name;          // the name replaced in it
    int m_target = -1;          // the file replaced, -1 for a new one
    struct stat m_status {};    // its status when opened
    bool m_createdTarget = false;  // made empty through a dangling link
    int m_fd = -1;              // the temporary
    QByteArray m_tempName;      // empty while the temporary has no name
    int m_guard = -1;           // its slot in the signal guard
    std::unique_ptr<Device> m_device;
    QString m_error;
    bool m_committed = false;
};

// One call: nothing when `bytes` replaced `path`, else why not (Unwritable).
[[nodiscard]] MaybeFailure writeFileAtomically(const QString& path, QByteArrayView bytes);

// The same for a writer that produces the file through a device: `write`
// returns nothing or its own failure, and a write the file refused is
// reported with the system's reason rather than the writer's.
[[nodiscard]] MaybeFailure writeFileAtomically(const QString& path,
                                               const std::function<MaybeFailure(QIODevice&)>& write);

}  // namespace fileio
