#include "messagecolumns.h"

#include "imagefile/decoders.h"
#include "imagefile/librarymessages.h"

#include "fileio/fileio.h"

#include <QFile>
#include <QtEndian>

#include <new>

namespace imagefile {

namespace {

// The columns of the PNG in `file` that the budget holds, or 0 when the
// first pass would gain nothing: not a PNG, interlaced (kept whole), no
// larger than the budget, or taller than the budget holds a column of.
std::int64_t keptColumnsOf(QFile& file, std::int64_t budgetBytes)
{
    if (file.size() > kMaxPictureFileBytes)
        return 0;  // the whole road refuses it, with its reason
    const QByteArray head = file.read(33);
    if (head.size() != 33 || !head.startsWith("\x89PNG\r\n\x1A\n") || head.mid(12, 4) != "IHDR")
        return 0;
    const auto* ihdr = reinterpret_cast<const uchar*>(head.constData() + 16);
    const std::int64_t width = qFromBigEndian<quint32>(ihdr), height = qFromBigEndian<quint32>(ihdr + 4);
    if (height == 0 || ihdr[12] != 0)
        return 0;
    const std::int64_t columns = budgetBytes / 4 / height;
    return columns < width ? columns : 0;
}

// The first columns, when the scan settles within them; a null image
// otherwise, whatever the reason (the whole road then says it).
QImage settledColumns(const QString& path, std::int64_t budgetBytes)
{
    QFile file;
    if (fileio::openRegularFile(file, path))
        return {};
    const std::int64_t columns = keptColumnsOf(file, budgetBytes);
    if (columns == 0 || !file.seek(0))
        return {};
    LoadResult kept;
    {
        const LibraryOutputMuffle muffle;
        kept = decodePng(file, columns);
    }
    if (!kept.ok() || stego::readMessage(surfaceOf(kept.image)).outcome == stego::ReadOutcome::NoEndMarker)
        return {};
    return std::move(kept.image);
}

}  // namespace

LoadResult loadForMessage(const QString& path, std::int64_t budgetBytes)
{
    try {
        if (QImage columns = settledColumns(path, budgetBytes); !columns.isNull())
            return {std::move(columns), std::nullopt};
    } catch (const std::bad_alloc&) {
        // The whole road follows, and says so if memory runs short there too.
    }
    return loadPicture(path);
}

}  // namespace imagefile
