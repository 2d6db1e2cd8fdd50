// A 32-bit BMP hidden in while rewritten as 24-bit must give the engine's
// pixels on the decoded picture, in a plain 24-bit file.

#include "imagefile/bmpfiles.h"
#include "bmpfile/bmpwiden.h"
#include "imagefile/imageio.h"
#include "imagefile/pictures.h"

#include <QBuffer>

#include <algorithm>
#include <string>

namespace {

using namespace imagefiletest;

TEST(BmpWiden, ThirtyTwoBitPicturesComeOutAs24BitWithTheEnginesPixels)
{
    for (const Geometry& g : kGeometries) {
        if (g.kind.bits != 32)
            continue;
        SCOPED_TRACE(g.why);
        const QImage source = noisyImage(g.width, g.height, 11);
        // The fourth byte 0: an alpha that would make the picture invisible.
        BmpKind kind = g.kind;
        kind.padding = 0;
        QByteArray input = bmpBytes(source, kind);
        const std::int64_t capacity = stego::textCapacity(g.width, g.height);
        for (const std::int64_t length : {std::int64_t(0), std::min<std::int64_t>(7, capacity), capacity, capacity + 1}) {
            SCOPED_TRACE(length);
            const std::string text(static_cast<std::size_t>(length), '\xA7');
            QBuffer in(&input);
            ASSERT_TRUE(in.open(QIODevice::ReadOnly));
            const bmpfile::BmpProbe probe = bmpfile::probeBmp(in);
            ASSERT_TRUE(probe.streamable && probe.error.isEmpty());
            QByteArray output;
            const bmpfile::BmpHide hidden = bmpfile::hideBmpAs24(in, probe.layout, text, [&](QByteArrayView bytes) {
                output.append(bytes);
                return true;
            });

            QImage expected = source.copy();
            const stego::HideReport engine = stego::hideBytes(imagefile::surfaceOf(expected), text);
            ASSERT_EQ(hidden.report.outcome, engine.outcome);
            ASSERT_TRUE(hidden.ok()) << hidden.failure->reason.toStdString();
            if (engine.outcome == stego::HideOutcome::TooMuchText) {
                EXPECT_EQ(hidden.report.excess, engine.excess);
                EXPECT_TRUE(output.isEmpty());
                continue;
            }
            EXPECT_TRUE(output.startsWith("BM") && output[28] == 24 && output[30] == 0) << "uncompressed 24-bit";
            EXPECT_TRUE(sameRgb(qtDecoded(output), expected));
        }
    }
}

}  // namespace
