#include "jpegcolumntop.h"

#include "jpegreader.h"

#include <new>

namespace imagefile {

std::optional<std::vector<std::uint32_t>> jpegColumnTop(QIODevice& in, int rows)
{
    try {
        JpegReader reader(in);
        if (reader.start(0) || reader.needsEveryScan() || reader.orientation() != 1
            || reader.height() <= rows)
            return std::nullopt;
        // Column 0 lies at the picture's left edge, where a cut row is
        // smoothed exactly as a whole one, so long as the cut keeps the
        // colour samples to its right: a cut of one column makes it the
        // right edge as well, and smooths it otherwise.  64 columns hold
        // two blocks of the widest subsampling.
        std::int64_t width = 64;
        if (reader.keepLeftColumns(width))
            return std::nullopt;
        std::vector<std::uint32_t> top(std::size_t(width) * std::size_t(rows));
        if (reader.readRows(reinterpret_cast<unsigned char*>(top.data()), width * 4, rows))
            return std::nullopt;
        // The rest of the file is not read.
        std::vector<std::uint32_t> column(static_cast<std::size_t>(rows));
        for (std::size_t y = 0; y < column.size(); ++y)
            column[y] = top[y * std::size_t(width)];
        return column;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace imagefile
