// Forged sizes: each picture opens or is refused by what it holds, and a
// forged size costs no memory.

#include "imagefile/imageio.h"
#include "pictures.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

namespace {

using imagefiletest::encoded;
using imagefiletest::gif;
using imagefiletest::patternImage;

// The 54-byte header of a BMP that declares 60000 x 60000 pixels and brings
// almost none of them.  Run-length coding makes a short file proof of nothing.
QByteArray forgedBmp(bool runLength)
{
    QByteArray bmp = encoded(patternImage(4, 4), "bmp").left(54);
    qToLittleEndian<qint32>(60000, bmp.data() + 18);
    qToLittleEndian<qint32>(60000, bmp.data() + 22);
    if (runLength) {
        qToLittleEndian<quint16>(8, bmp.data() + 28);
        qToLittleEndian<quint32>(1, bmp.data() + 30);
        bmp.append(QByteArray(1024, '\0')).append("\0\1", 2);  // palette, then the end-of-picture code
    }
    return bmp;
}

// Resident memory in MB from /proc/self/status ("VmRSS:", "VmHWM:").
qint64 residentMB(const char* field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').value(0).toLongLong() / 1024;
    return -1;
}

// Starts a new peak from the current resident size; false where the kernel does not allow it.
bool resetPeakMemory()
{
    QFile refs("/proc/self/clear_refs");
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

// The kernel's peak shows a forged size that got as far as allocating, even if freed.
TEST(ForgedSizes, EachPictureOpensOrIsRefusedByWhatItHoldsAtABoundedMemoryCost)
{
    QTemporaryDir dir;
    const bool measured = resetPeakMemory();
    const struct {
        const char* why;
        QByteArray bytes;
        QSize opensAs;   // invalid: refused
        bool tooLarge;   // refused for its declared size
        qint64 peakMB;   // most the load may add to the process's peak
    } rows[] = {
        {"bmp header claims 60000 x 60000", forgedBmp(false), {}, true, 16},
        {"run-length bmp claims 60000 x 60000", forgedBmp(true), {}, true, 16},
        {"gif with a 65535 x 65535 screen around a 1 x 1 frame", gif(65535, 65535), {}, true, 16},
        {"gif cut inside its frame", gif().left(39), {}, false, 16},
        {"100000 x 1", encoded(patternImage(100000, 1), "bmp"), {100000, 1}, false, 16},
        // 137 MB of pixels: the conversion must not become a second copy.
        {"gif with a 6000 x 6000 screen", gif(6000, 6000), {6000, 6000}, false, 137 * 3 / 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const QString path = imagefiletest::written(dir.filePath("picture.bmp"), row.bytes);
        ASSERT_EQ(resetPeakMemory(), measured);
        const qint64 before = residentMB("VmRSS:");
        const imagefile::LoadResult loaded = imagefile::loadPicture(path);
        if (measured) {  // where the kernel lets a process reset its peak (/proc/self/clear_refs)
            EXPECT_LT(residentMB("VmHWM:") - before, row.peakMB);
        }
        EXPECT_EQ(loaded.ok() ? loaded.image.size() : QSize(), row.opensAs) << qPrintable(loaded.error);
        EXPECT_EQ(loaded.error.contains("too large"), row.tooLarge) << qPrintable(loaded.error);
        EXPECT_EQ(loaded.error.isEmpty(), row.opensAs.isValid());
    }
}

}  // namespace
