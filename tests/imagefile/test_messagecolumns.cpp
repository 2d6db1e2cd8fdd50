// Reading a message from a PNG's first columns gives the whole picture's
// answer, whatever the message's length, and keeps fewer columns only when
// that answer is settled within them.
#include "hostilefiles.h"
#include "imagefile/messagecolumns.h"
#include "imagefile/pngwriter.h"
#include "pictures.h"

#include <QTemporaryDir>

#include <string>

namespace {

using imagefiletest::patternImage;

constexpr int kWidth = 300, kHeight = 200, kKept = 40;
constexpr std::int64_t kBudget = std::int64_t(4) * kHeight * kKept;

// The pattern picture carrying `text`; with `cut`, its end marker's last
// character is spoilt, leaving a start without an end.
QImage carrying(const std::string& text, bool cut = false)
{
    QImage image = patternImage(kWidth, kHeight, 5);
    const stego::PixelSurface surface = imagefile::surfaceOf(image);
    EXPECT_EQ(stego::hideBytes(surface, text).outcome, stego::HideOutcome::Hidden);
    if (cut) {
        const std::int64_t p = 3 * (std::int64_t(text.size()) + stego::kMarkerLength - 1);
        surface.pixels[(p % kHeight) * surface.stride + p / kHeight] ^= 0x00010000U;
    }
    return image;
}

QByteArray png(const QImage& image)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_EQ(imagefile::writePng(image, buffer), QString());
    return buffer.data();
}

TEST(MessageColumns, TheScanAnswersAsOnTheWholePicture)
{
    // Characters that just fill the kept columns, and one more.
    const std::string filling(kKept * kHeight / 3 - stego::kMarkerLength, 'f');
    const struct { const char* why; QByteArray file; int columns; } rows[] = {
        {"no start marker", png(patternImage(kWidth, kHeight, 5)), kKept},
        {"a short message", png(carrying("short")), kKept},
        {"a message filling the kept columns", png(carrying(filling)), kKept},
        {"one character more: read whole", png(carrying(filling + "g")), kWidth},
        {"a start without an end: read whole", png(carrying("lost", true)), kWidth},
        {"within the budget: read whole", png(patternImage(kKept, kHeight)), kKept},
        {"not a PNG", imagefiletest::encoded(carrying("bmp"), "bmp"), kWidth},
        {"pixel data with a wrong checksum: refused", imagefiletest::withBadIdatCrc(png(carrying("short"))), 0},
    };
    const QTemporaryDir folder;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        const QString path = imagefiletest::written(folder.filePath(QStringLiteral("x")), row.file);
        const imagefile::LoadResult whole = imagefile::loadPicture(path);
        const imagefile::LoadResult kept = imagefile::loadForMessage(path, kBudget);
        EXPECT_EQ(kept.image.width(), row.columns);
        EXPECT_EQ(kept.error, whole.error);
        const stego::ReadResult expected = stego::readMessage(imagefile::surfaceOf(whole.image));
        const stego::ReadResult actual = stego::readMessage(imagefile::surfaceOf(kept.image));
        EXPECT_EQ(actual.outcome, expected.outcome);
        EXPECT_EQ(actual.text, expected.text);
    }
}

}  // namespace
