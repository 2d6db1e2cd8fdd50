#pragma once

// Reading a picture's bytes where they lie: whole reads over a device that
// may return less, positioned reads that several threads may make at once
// on an unbuffered file, and the sentence that tells why a read failed.

#include <QIODevice>
#include <QString>

#include <cstdint>

namespace bmpfile::detail {

inline const QString kNotStreamable = QStringLiteral("The picture is not an uncompressed 24 or 32-bit BMP");

inline constexpr std::int64_t kBlockBytes = std::int64_t(4) << 20;  // one read or write of the copy

// Reads exactly `n` bytes or fails: QIODevice::read may return less.
bool readFully(QIODevice& in, char* to, qint64 n);

// Reads up to `n` bytes, fewer only at the end of the data; -1 on failure.
qint64 readUpTo(QIODevice& in, char* to, qint64 n);

// The descriptor of an unbuffered file, which positioned reads may read
// from several threads at once; -1 for any other device.
int positionedHandle(const QIODevice& in);

// A positioned read: one pread on an unbuffered file (one system call a
// row slice, where seek and read would be two), seek and read otherwise.
bool readAt(QIODevice& in, std::uint64_t at, char* to, qint64 n);

// Tells the system that bytes at .. at + n of an unbuffered file are to be
// read soon: a file not yet in memory is then read ahead in large pieces,
// not a page at a time as slices of rows far apart would have it.  Only a
// hint; nothing for other devices.
void willRead(const QIODevice& in, std::uint64_t at, std::uint64_t n);

// Forgets the failure of an earlier positioned read; called as a pass over
// a picture begins.
void forgetReadError();

// Why the last read of `in` failed: the system's reason for a failed
// positioned read, the device's otherwise, and a cut-short picture when the
// data simply ended.
QString readError(QIODevice& in);

}  // namespace bmpfile::detail
