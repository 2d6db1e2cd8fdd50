// Hiding and reading straight in a BMP file must give the engine's results on
// the decoded picture, bit for bit, and leave every other byte of the file
// as it was.

#include "imagefile/bmpfiles.h"
#include "bmpfile/bmpformat.h"
#include "bmpfile/bmpstream.h"
#include "bmpfile/bmpwiden.h"
#include "imagefile/imageio.h"
#include "imagefile/pictures.h"
#include "stego/reference.h"
#include "support/failures.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryFile>

#include <limits>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace imagefiletest;
using testsupport::reasonOf;

std::string randomText(std::int64_t length, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::string text(static_cast<std::size_t>(length), '\0');
    for (char& c : text)
        c = static_cast<char>(random() % 256);
    return text;
}

// A read-only device over `bytes`, for a call that takes the device by reference.
std::unique_ptr<QBuffer> reading(const QByteArray& bytes) { return std::make_unique<ReadBuffer>(bytes); }

// A sink that keeps every piece it is given.
template <typename Bytes>
bmpfile::ByteSink keptIn(Bytes& kept)
{
    return [&kept](QByteArrayView piece) {
        kept.append(piece.data(), static_cast<typename Bytes::size_type>(piece.size()));
        return true;
    };
}

bmpfile::BmpReveal revealBytes(const QByteArray& b, bmpfile::BandSizes bands = {}) { return bmpfile::revealBmp(*reading(b), nullptr, bands); }

// The engine's scan of the decoded file against streamed reads: from memory
// and from an unbuffered file read with positioned reads, in the default
// bands and in small ones, by one thread and by two.  Small bands make small
// pictures cross many band seams: bands of a few dozen pixels read a column
// taller than a band a slice at a time; bands of a few hundred read slices
// of rows that are not whole.
void expectSameScan(const QByteArray& bytes)
{
    QTemporaryFile file;
    ASSERT_TRUE(file.open() && file.write(bytes) == bytes.size() && file.flush());
    const auto revealFile = [&](bmpfile::BandSizes bands) {
        QFile unbuffered(file.fileName());
        EXPECT_TRUE(unbuffered.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
        return bmpfile::revealBmp(unbuffered, nullptr, bands);
    };
    const QImage image = qtDecoded(bytes);
    ASSERT_FALSE(image.isNull());
    const stego::ReadResult engine = stego::readMessage(imagefile::surfaceOf(image));
    for (const bmpfile::BmpReveal& streamed : {revealBytes(bytes), revealFile({}), revealBytes(bytes, {40, 150}),
                                            revealBytes(bytes, {800, 1600}), revealFile({800, 1600, 0})}) {
        ASSERT_TRUE(streamed.ok()) << qPrintable(reasonOf(streamed.failure));
        EXPECT_EQ(streamed.result.outcome, engine.outcome);
        EXPECT_EQ(streamed.result.text, engine.text);
    }
}

// Checks a streamed hide against the engine's hiding in `picture`: the same
// outcome and excess, nothing written for a text that does not fit, else the
// engine's picture written as a BMP of `kind`, byte for byte (only the
// pixels' lowest bits change; headers, padding, unused bytes and what
// follows the pixels stay).  True when the text went in.
bool matchesEngine(const bmpfile::BmpHide& streamed, const QByteArray& output, QImage picture, const BmpKind& kind,
                   const std::string& text)
{
    const stego::HideReport engine = stego::hideBytes(imagefile::surfaceOf(picture), text);
    EXPECT_TRUE(streamed.ok()) << qPrintable(reasonOf(streamed.failure));
    EXPECT_EQ(streamed.report.outcome, engine.outcome);
    if (engine.outcome != stego::HideOutcome::Hidden) {
        EXPECT_EQ(streamed.report.excess, engine.excess);
        EXPECT_TRUE(output.isEmpty()) << "nothing is written for a text that does not fit";
        return false;
    }
    EXPECT_TRUE(output == bmpBytes(picture, kind)) << "the engine's picture, byte for byte";
    return true;
}

// Hides `text` by streaming in `picture` written as a BMP of `kind`, and
// checks it against the engine; when the text went in, reads it back as the
// engine does.  True when it went in.
bool expectSameHide(const QImage& picture, const BmpKind& kind, const std::string& text)
{
    const QByteArray bytes = bmpBytes(picture, kind);
    // Streamed to a sink, and over a copy patched row by row as files are
    // written: the same bytes.  The copy runs a few rows ahead, and no patch
    // may land past it.
    QByteArray output, copy;
    const bmpfile::BmpHide streamed = bmpfile::hideBmp(*reading(bytes), text, keptIn(output));
    const bmpfile::BmpHide patched = bmpfile::hideBmp(
        *reading(bytes), text,
        bmpfile::PatchedCopy{.copyRange = [&](qint64 from, qint64 size) {
                                 copy.append(bytes.mid(from, size));
                                 return from + size == copy.size();
                             },
                             .writeAt = [&](std::uint64_t at, QByteArrayView piece) {
                                 if (at + static_cast<std::uint64_t>(piece.size()) > static_cast<std::uint64_t>(copy.size()))
                                     return false;
                                 copy.replace(static_cast<qsizetype>(at), piece.size(), piece.toByteArray());
                                 return true;
                             },
                             .settled = {},
                             .aheadBytes = 300});
    EXPECT_TRUE(patched.ok()) << qPrintable(reasonOf(patched.failure));
    EXPECT_EQ(patched.report.outcome, streamed.report.outcome);
    EXPECT_EQ(copy, output);
    if (!matchesEngine(streamed, output, picture, kind, text))
        return false;
    expectSameScan(output);
    return true;
}

// The lengths worth hiding in a picture that holds `capacity` characters.
std::vector<std::pair<const char*, std::int64_t>> lengthsFor(std::int64_t capacity)
{
    return {{"empty text", 0}, {"a few characters", std::min<std::int64_t>(5, capacity)},
            {"exactly at capacity", capacity}, {"one character over capacity", capacity + 1}};
}

TEST(BmpStream, HideAndRevealMatchTheEngineOverAwkwardGeometries)
{
    for (const Geometry& g : kGeometries) {
        SCOPED_TRACE(g.why);
        const QImage plain = noisyImage(g.width, g.height, 7);
        expectSameScan(bmpBytes(plain, g.kind));  // noise: almost always no start marker
        for (const auto& [why, length] : lengthsFor(stego::textCapacity(g.width, g.height))) {
            SCOPED_TRACE(why);
            expectSameHide(plain, g.kind, randomText(length, 3));
        }
    }
}

// A 32-bit BMP rewritten as 24-bit while hidden in: the engine's pixels in a plain 24-bit file.
TEST(BmpStream, ThirtyTwoBitPicturesWidenedTo24BitCarryTheEnginesPixels)
{
    for (const Geometry& g : kGeometries) {
        if (g.kind.bits != 32)
            continue;
        SCOPED_TRACE(g.why);
        const QImage source = noisyImage(g.width, g.height, 11);
        BmpKind kind = g.kind;
        kind.padding = 0;  // the fourth byte 0: an alpha that would make the picture invisible
        const QByteArray input = bmpBytes(source, kind);
        for (const auto& [why, length] : lengthsFor(stego::textCapacity(g.width, g.height))) {
            SCOPED_TRACE(why);
            const std::string text = randomText(length, 11);
            const auto in = reading(input);
            const bmpfile::BmpProbe probe = bmpfile::probeBmp(*in);
            ASSERT_TRUE(probe.streamable && !probe.failure);
            QByteArray output;
            // A plain 24-bit file: bottom row first, rows padded with zeros.
            matchesEngine(bmpfile::hideBmpAs24(*in, probe.layout, text, keptIn(output)), output, source, {.padding = 0}, text);
        }
    }
}

TEST(BmpStream, RevealStopsWhereTheEngineDoes)
{
    // The head's end-marker test, a start marker with no end, and an end
    // marker that the start marker's last letters help to form, written
    // without framing from the first pixel on.
    const struct { const char* why; std::string raw; } rows[] = {
        {"end marker inside the first 13 characters", "ab" + std::string(stego::kEndMarker)},
        {"start marker and no end marker", std::string(stego::kStartMarker) + "never ends"},
        {"end marker straddling the start marker", std::string(stego::kStartMarker) + "ssage"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        for (const BmpKind& kind : {BmpKind{}, BmpKind{.bits = 32, .topDown = true}}) {
            QImage raw = noisyImage(9, 50, 11);
            stegotest::referenceWrite(imagefile::surfaceOf(raw), row.raw);
            expectSameScan(bmpBytes(raw, kind));
        }
    }
}

TEST(BmpStream, MessagesLongerThanTheDefaultBands)
{
    // Crosses the first band and its doubling, and the block edges a
    // pixel's patch may straddle, at the real sizes.
    EXPECT_TRUE(expectSameHide(noisyImage(2000, 2500, 5), {}, randomText(stego::textCapacity(2000, 2500), 9)));
}

TEST(BmpStream, PicturesWiderThanABlockArePatchedAStretchAtATime)
{
    // Two rows of 50,000 pixels: a hide over a copy takes the rows in
    // stretches of 43,690 pixels, and with 87,381 pixels of message the
    // second row has none in the second stretch, at the start of the file's
    // rows or at their end.
    const QImage plain = noisyImage(50000, 2, 4);
    for (const BmpKind& kind : {BmpKind{}, BmpKind{.topDown = true}}) {
        SCOPED_TRACE(kind.topDown ? "top-down" : "bottom-up");
        for (const std::int64_t length : {29102, 29103, 29104})
            EXPECT_TRUE(expectSameHide(plain, kind, randomText(length, 5)));
    }
}

TEST(BmpStream, ATextPastTheSpillSizeReachesTheSinkWhole)
{
    // Over 8 million characters: the text runs through the temporary file.
    QImage image(5000, 5000, QImage::Format_RGB32);
    image.fill(0xFF808080u);
    const stego::PixelSurface surface = imagefile::surfaceOf(image);
    const std::string text = randomText(stego::textCapacity(5000, 5000), 12);
    ASSERT_EQ(stego::hideBytes(surface, text).outcome, stego::HideOutcome::Hidden);
    std::string received;
    const bmpfile::BmpReveal revealed = bmpfile::revealBmp(*reading(bmpBytes(image)), keptIn(received));
    ASSERT_TRUE(revealed.ok()) << qPrintable(reasonOf(revealed.failure));
    EXPECT_EQ(revealed.result.outcome, stego::ReadOutcome::Found);
    EXPECT_TRUE(received == text) << "received " << received.size() << " of " << text.size() << " characters";

    // Without an end marker (its first character zeroed) nothing reaches the
    // sink, however much was spilled.
    const auto end = 3 * static_cast<std::int64_t>(stego::kStartMarker.size() + text.size());
    for (std::int64_t p = end; p < end + 3; ++p)
        stegotest::pixelAt(surface, p) &= ~0x010101u;
    bool called = false;
    const bmpfile::BmpReveal none = bmpfile::revealBmp(*reading(bmpBytes(image)), [&](QByteArrayView) { return called = true; });
    EXPECT_EQ(none.result.outcome, stego::ReadOutcome::NoEndMarker);
    EXPECT_FALSE(called);
}

TEST(BmpStream, DamagedFilesAndFailingSinksAreReported)
{
    const auto hide = [](const QByteArray& bytes, const bmpfile::ByteSink& sink) {
        return bmpfile::hideBmp(*reading(bytes), "text", sink);
    };
    const bmpfile::ByteSink any = [](QByteArrayView) { return true; };
    const QByteArray plain = bmpBytes(noisyImage(31, 40, 2));
    {
        SCOPED_TRACE("cut short by one byte");
        const QByteArray cut = plain.left(plain.size() - 1);
        EXPECT_EQ(reasonOf(revealBytes(cut).failure), QString::fromLatin1(bmpfile::kTruncatedSentence));
        EXPECT_EQ(reasonOf(hide(cut, any).failure), QString::fromLatin1(bmpfile::kTruncatedSentence));
    }
    {
        SCOPED_TRACE("a palette picture is not for streaming");
        QByteArray palette = plain;
        put16(palette, 28, 8);
        EXPECT_FALSE(hide(palette, any).ok());
        EXPECT_FALSE(revealBytes(palette).ok());
    }
    const QByteArray big = bmpBytes(noisyImage(1200, 1200, 1));  // over one block
    for (const int failingBlock : {0, 1}) {
        SCOPED_TRACE(failingBlock == 0 ? "sink fails at once" : "sink fails on the last block");
        int blocks = 0;
        const bmpfile::BmpHide result = hide(big, [&](QByteArrayView) { return blocks++ < failingBlock; });
        EXPECT_TRUE(result.failure && result.failure->kind == fileio::FailureKind::Unwritable);
        EXPECT_FALSE(result.ok());
    }
}

// A spill file whose reading back fails as a disk can: from byte `after` on
// a read answers `answer` (-1 an error, 0 an early end), and without `seeks`
// there is no way back to its start.
class FailingSpill : public QBuffer {
public:
    FailingSpill(qint64 after, qint64 answer, bool seeks) : m_after(after), m_answer(answer), m_seeks(seeks) {}
    bool seek(qint64 position) override
    {
        if (!m_seeks)
            setErrorString(QStringLiteral("Illegal seek"));
        return m_seeks && QBuffer::seek(position);
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (pos() < m_after)
            return QBuffer::readData(data, std::min(maxSize, m_after - pos()));
        setErrorString(QStringLiteral("Input/output error"));
        return m_answer;
    }

private:
    qint64 m_after, m_answer;
    bool m_seeks;
};

TEST(BmpStream, ASpillFileThatCannotBeReadBackIsAnErrorNotAShortText)
{
    QImage image = noisyImage(200, 200, 3);
    // A UTF-8 body: its encoding must be known before the first piece.
    std::string text = "\xEF\xBB\xBF";
    while (text.size() < 6000)
        text += "\xC5\x81\xC3\xB3" "d\xC5\xBA, ";
    ASSERT_EQ(stego::hideBytes(imagefile::surfaceOf(image), text).outcome, stego::HideOutcome::Hidden);
    const QByteArray bytes = bmpBytes(image);
    const struct { const char* why; qint64 after, answer; bool seeks; const char* reason; } rows[] = {
        {"read back whole", std::numeric_limits<qint64>::max(), 0, true, nullptr},
        {"a read fails part way", 1500, -1, true, "Input/output error"},
        {"the file ends early", 2500, 0, true, "it ended after 2500 of"},
        {"no way back to its start", 0, 0, false, "temporary file: Illegal seek"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        FailingSpill spill(row.after, row.answer, row.seeks);
        ASSERT_TRUE(spill.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
        std::string received;
        stego::BodyEncoding encoding = stego::BodyEncoding::Windows1252, seenAtFirstPiece = encoding;
        const bmpfile::ByteSink sink = [&, keep = keptIn(received)](QByteArrayView piece) {
            if (received.empty())
                seenAtFirstPiece = encoding;
            return keep(piece);
        };
        const bmpfile::BmpReveal revealed =
            bmpfile::revealBmp(*reading(bytes), &sink, bmpfile::RevealTuning{.spillChars = 1000, .spill = &spill, .encoding = &encoding});
        if (row.reason == nullptr) {
            ASSERT_TRUE(revealed.ok()) << qPrintable(reasonOf(revealed.failure));
            EXPECT_TRUE(received == text);
            EXPECT_EQ(seenAtFirstPiece, stego::BodyEncoding::Utf8);
            continue;
        }
        EXPECT_TRUE(reasonOf(revealed.failure).contains(QLatin1String(row.reason))) << qPrintable(reasonOf(revealed.failure));
        EXPECT_LE(static_cast<qint64>(received.size()), row.after) << "nothing after the failure";
        EXPECT_TRUE(text.starts_with(received));
    }
}

}  // namespace
