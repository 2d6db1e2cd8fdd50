// Hiding and reading straight in a BMP file must give the engine's results on
// the decoded picture, bit for bit, and leave every other byte of the file
// as it was.

#include "imagefile/bmpfiles.h"
#include "bmpfile/bmpformat.h"
#include "bmpfile/bmpstream.h"
#include "bmpfile/bmpwiden.h"
#include "imagefile/imageio.h"
#include "imagefile/pictures.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryFile>

#include <optional>
#include <random>
#include <string>

namespace {

using namespace imagefiletest;

std::string randomText(std::size_t length, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::string text(length, '\0');
    for (char& c : text)
        c = static_cast<char>(random() % 256);
    return text;
}

QString reasonOf(const std::optional<fileio::Failure>& failure)
{
    return failure ? failure->reason : QString();
}

// Runs `use` on a read-only buffer over a copy of `bytes`.
template <class Use>
auto overBuffer(const QByteArray& bytes, Use use)
{
    ReadBuffer buffer(bytes);
    return use(buffer);
}

bmpfile::ByteSink appendTo(QByteArray& output)
{
    return [&output](QByteArrayView block) { output.append(block); return true; };
}

// Small bands make small pictures cross many band seams: bands of a few
// dozen pixels read a column taller than a band a slice at a time; bands of
// a few hundred read slices of rows that are not whole.
bmpfile::BmpReveal revealBytes(const QByteArray& bytes, bmpfile::BandSizes bands = {})
{
    return overBuffer(bytes, [&](QBuffer& in) { return bmpfile::revealBmp(in, nullptr, bands); });
}

struct Hidden {
    bmpfile::BmpHide result;
    QByteArray output;
};

Hidden hideInto(const QByteArray& bytes, const std::string& text)
{
    Hidden hidden;
    hidden.result = overBuffer(bytes, [&](QBuffer& in) { return bmpfile::hideBmp(in, text, appendTo(hidden.output)); });
    return hidden;
}

// Checks a streamed hide's outcome against the engine's; true when the text was hidden.
bool sameOutcome(const bmpfile::BmpHide& streamed, const stego::HideReport& engine, const QByteArray& output)
{
    EXPECT_TRUE(streamed.ok()) << qPrintable(reasonOf(streamed.failure));
    EXPECT_EQ(streamed.report.outcome, engine.outcome);
    if (engine.outcome == stego::HideOutcome::Hidden)
        return true;
    EXPECT_EQ(streamed.report.excess, engine.excess);
    EXPECT_TRUE(output.isEmpty());
    return false;
}

// What the engine finds in the decoded file.
stego::ReadResult engineScan(const QByteArray& bytes)
{
    const QImage image = qtDecoded(bytes);
    EXPECT_FALSE(image.isNull());
    return stego::readMessage(imagefile::surfaceOf(image));
}

// The same bytes in an unbuffered file, read with positioned reads; with
// bands of every size read by two threads.
bmpfile::BmpReveal revealFile(const QByteArray& bytes, bool twoThreads = false)
{
    QTemporaryFile file;
    EXPECT_TRUE(file.open() && file.write(bytes) == bytes.size() && file.flush());
    QFile unbuffered(file.fileName());
    EXPECT_TRUE(unbuffered.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    return bmpfile::revealBmp(unbuffered, nullptr, twoThreads ? bmpfile::BandSizes{800, 1600, 0} : bmpfile::BandSizes{});
}

void expectSameScan(const QByteArray& bytes)
{
    const stego::ReadResult engine = engineScan(bytes);
    for (const bmpfile::BmpReveal& streamed : {revealBytes(bytes), revealFile(bytes), revealBytes(bytes, {40, 150}),
                                            revealBytes(bytes, {800, 1600}), revealFile(bytes, true)}) {
        ASSERT_TRUE(streamed.ok()) << qPrintable(reasonOf(streamed.failure));
        EXPECT_EQ(streamed.result.outcome, engine.outcome);
        EXPECT_EQ(streamed.result.text, engine.text);
    }
}

// Hides `text` by streaming and checks the result against the engine's
// hiding in the decoded picture; returns the streamed file.
QByteArray expectSameHide(const QByteArray& bytes, const std::string& text)
{
    const Hidden hidden = hideInto(bytes, text);
    QImage expected = qtDecoded(bytes);
    const stego::HideReport engine = stego::hideBytes(imagefile::surfaceOf(expected), text);

    // Over a copy patched row by row, as files are written: the same bytes;
    // nothing is copied for a text that does not fit.
    QByteArray copy;
    const bmpfile::BmpHide patched = overBuffer(bytes, [&](QBuffer& in) {
        return bmpfile::hideBmp(in, text,
                                bmpfile::PatchedCopy{[&](qint64 size) { copy = bytes.left(size); return true; },
                                                     [&](std::uint64_t at, QByteArrayView piece) {
                                                         copy.replace(static_cast<qsizetype>(at), piece.size(), piece.toByteArray());
                                                         return true;
                                                     }});
    });
    const bool copied = sameOutcome(patched, engine, copy);
    if (!sameOutcome(hidden.result, engine, hidden.output) || !copied)
        return {};
    EXPECT_EQ(copy, hidden.output);
    EXPECT_TRUE(imagefiletest::sameRgb(qtDecoded(hidden.output), expected));
    // Only the lowest bit of a byte may change, and only inside the pixels.
    EXPECT_EQ(hidden.output.size(), bytes.size());
    const bmpfile::Layout layout =
        bmpfile::parse({reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())}).layout;
    for (qsizetype i = 0; i < std::min(bytes.size(), hidden.output.size()); ++i) {
        const auto at = static_cast<std::uint64_t>(i), offset = at - layout.pixelOffset;
        const bool inPixel = at >= layout.pixelOffset && at < layout.pixelEnd
                             && offset % layout.rowStride < static_cast<std::uint64_t>(layout.width * layout.bytesPerPixel())
                             && offset % layout.rowStride % static_cast<std::uint64_t>(layout.bytesPerPixel()) < 3;
        const int changed = (bytes[i] ^ hidden.output[i]) & 0xFF;
        if (changed != 0 && !(changed == 1 && inPixel)) {
            ADD_FAILURE() << "byte " << i << " changed by " << changed;
            break;
        }
    }
    return hidden.output;
}

TEST(BmpStream, HideAndRevealMatchTheEngineOverAwkwardGeometries)
{
    for (const Geometry& g : kGeometries) {
        SCOPED_TRACE(g.why);
        const QByteArray plain = bmpBytes(noisyImage(g.width, g.height, 7), g.kind);
        expectSameScan(plain);  // noise: almost always no start marker

        const std::int64_t capacity = stego::textCapacity(g.width, g.height);
        const struct {
            const char* why;
            std::int64_t length;
        } lengths[] = {{"empty text", 0}, {"a few characters", std::min<std::int64_t>(5, capacity)},
                       {"exactly at capacity", capacity}, {"one character over capacity", capacity + 1}};
        for (const auto& length : lengths) {
            SCOPED_TRACE(length.why);
            const QByteArray hidden = expectSameHide(plain, randomText(static_cast<std::size_t>(length.length), 3));
            if (!hidden.isEmpty())
                expectSameScan(hidden);
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
        const std::int64_t capacity = stego::textCapacity(g.width, g.height);
        for (const std::int64_t length : {std::int64_t(0), std::min<std::int64_t>(7, capacity), capacity, capacity + 1}) {
            SCOPED_TRACE(length);
            const std::string text(static_cast<std::size_t>(length), '\xA7');
            QByteArray output;
            const bmpfile::BmpHide hidden = overBuffer(input, [&](QBuffer& in) {
                const bmpfile::BmpProbe probe = bmpfile::probeBmp(in);
                EXPECT_TRUE(probe.streamable && probe.error.isEmpty());
                return bmpfile::hideBmpAs24(in, probe.layout, text, appendTo(output));
            });
            QImage expected = source.copy();
            if (!sameOutcome(hidden, stego::hideBytes(imagefile::surfaceOf(expected), text), output))
                continue;
            EXPECT_TRUE(output.startsWith("BM") && output[28] == 24 && output[30] == 0) << "uncompressed 24-bit";
            EXPECT_TRUE(sameRgb(qtDecoded(output), expected));
        }
    }
}

// Writes `bytes` as characters 0, 1, ... of the picture, without framing.
void writeRaw(QImage& image, const std::string& bytes)
{
    const stego::PixelSurface s = imagefile::surfaceOf(image);
    for (std::size_t c = 0; c < bytes.size(); ++c) {
        const auto byte = static_cast<std::uint8_t>(bytes[c]);
        for (int k = 0; k < 3; ++k) {
            const std::int64_t p = 3 * static_cast<std::int64_t>(c) + k;
            std::uint32_t& pixel = s.pixels[(p % s.height) * s.stride + p / s.height];
            const int shift = 5 - 3 * k;  // the bit blue carries; green and red carry the next two up
            pixel = (pixel & ~0x00010100u) | ((byte >> (shift + 2)) & 1u) << 16 | ((byte >> (shift + 1)) & 1u) << 8;
            if (k < 2)
                pixel = (pixel & ~1u) | ((byte >> shift) & 1u);
        }
    }
}

TEST(BmpStream, RevealStopsWhereTheEngineDoes)
{
    // The head's end-marker test, a start marker with no end, and an end
    // marker that the start marker's last letters help to form.
    const QImage noise = noisyImage(9, 50, 11);
    const struct { const char* why; std::string framed; } rows[] = {
        {"end marker inside the first 13 characters", "ab" + std::string(stego::kEndMarker)},
        {"start marker and no end marker", std::string(stego::kStartMarker) + "never ends"},
        {"end marker straddling the start marker", std::string(stego::kStartMarker) + "ssage"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        for (const BmpKind& kind : {BmpKind{}, BmpKind{.bits = 32, .topDown = true}}) {
            QImage raw = noise.copy();
            writeRaw(raw, row.framed);
            expectSameScan(bmpBytes(raw, kind));
        }
    }
}

TEST(BmpStream, MessagesLongerThanTheDefaultBands)
{
    // Crosses the first band and its doubling, and the block edges a
    // pixel's patch may straddle, at the real sizes.
    const QByteArray plain = bmpBytes(noisyImage(2000, 2500, 5));
    const QByteArray hidden = expectSameHide(plain, randomText(static_cast<std::size_t>(stego::textCapacity(2000, 2500)), 9));
    ASSERT_FALSE(hidden.isEmpty());
    expectSameScan(hidden);
}

TEST(BmpStream, PicturesWiderThanABlockArePatchedAStretchAtATime)
{
    // Two rows of 50,000 pixels: a hide over a copy takes the rows in
    // stretches of 43,690 pixels, and with 87,381 pixels of message the
    // second row has none in the second stretch, at the start of the file's
    // rows or at their end.
    for (const BmpKind& kind : {BmpKind{}, BmpKind{.topDown = true}}) {
        SCOPED_TRACE(kind.topDown ? "top-down" : "bottom-up");
        const QByteArray plain = bmpBytes(noisyImage(50000, 2, 4), kind);
        for (const std::size_t length : {29102U, 29103U, 29104U}) {
            const QByteArray hidden = expectSameHide(plain, randomText(length, 5));
            ASSERT_FALSE(hidden.isEmpty());
            expectSameScan(hidden);
        }
    }
}

TEST(BmpStream, ATextPastTheSpillSizeReachesTheSinkWhole)
{
    // Over 8 million characters: the text runs through the temporary file.
    QImage image(5000, 5000, QImage::Format_RGB32);
    image.fill(0xFF808080u);
    const std::string text = randomText(static_cast<std::size_t>(stego::textCapacity(5000, 5000)), 12);
    ASSERT_EQ(stego::hideBytes(imagefile::surfaceOf(image), text).outcome, stego::HideOutcome::Hidden);
    QByteArray bytes = bmpBytes(image);
    image = QImage();

    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    std::string received;
    const bmpfile::BmpReveal revealed = bmpfile::revealBmp(buffer, [&](QByteArrayView piece) {
        received.append(piece.data(), static_cast<std::size_t>(piece.size()));
        return true;
    });
    ASSERT_TRUE(revealed.ok()) << qPrintable(reasonOf(revealed.failure));
    EXPECT_EQ(revealed.result.outcome, stego::ReadOutcome::Found);
    EXPECT_TRUE(received == text) << "received " << received.size() << " of " << text.size() << " characters";

    // Without an end marker nothing reaches the sink, however much was
    // spilled: the end marker's first character zeroed in the file, whose
    // rows of 15000 bytes run bottom-up; characters run down the columns.
    const auto end = 3 * static_cast<std::int64_t>(stego::kStartMarker.size() + text.size());
    for (std::int64_t p = end; p < end + 3; ++p)
        for (int channel = 0; channel < 3; ++channel) {
            char& byte = bytes[static_cast<qsizetype>(54 + (4999 - p % 5000) * 15000 + p / 5000 * 3 + channel)];
            byte = static_cast<char>(byte & ~1);
        }
    buffer.seek(0);
    bool called = false;
    const bmpfile::BmpReveal none = bmpfile::revealBmp(buffer, [&](QByteArrayView) { return called = true; });
    EXPECT_EQ(none.result.outcome, stego::ReadOutcome::NoEndMarker);
    EXPECT_FALSE(called);
}

TEST(BmpStream, DamagedFilesAndFailingSinksAreReported)
{
    const QByteArray plain = bmpBytes(noisyImage(31, 40, 2));
    {
        SCOPED_TRACE("cut short by one byte");
        const QByteArray cut = plain.left(plain.size() - 1);
        EXPECT_EQ(reasonOf(revealBytes(cut).failure), QString::fromLatin1(bmpfile::kTruncatedSentence));
        EXPECT_EQ(reasonOf(hideInto(cut, "x").result.failure), QString::fromLatin1(bmpfile::kTruncatedSentence));
    }
    {
        SCOPED_TRACE("a palette picture is not for streaming");
        QByteArray palette = plain;
        imagefiletest::put16(palette, 28, 8);
        EXPECT_FALSE(hideInto(palette, "x").result.ok());
        EXPECT_FALSE(revealBytes(palette).ok());
    }
    for (const int failingBlock : {0, 1}) {
        SCOPED_TRACE(failingBlock == 0 ? "sink fails at once" : "sink fails on the last block");
        int blocks = 0;
        const bmpfile::BmpHide result = overBuffer(bmpBytes(noisyImage(1200, 1200, 1)), [&](QBuffer& in) {  // over one block
            return bmpfile::hideBmp(in, "text", [&](QByteArrayView) { return blocks++ < failingBlock; });
        });
        EXPECT_TRUE(result.failure && result.failure->kind == fileio::FailureKind::Unwritable);
        EXPECT_FALSE(result.ok());
    }
}

// A spill file whose reading back fails as a disk can: an error after some
// bytes, an end that comes early, or no way back to its start.
class FailingSpill : public QBuffer {
public:
    enum class Fault { None, ReadError, EarlyEnd, Seek };
    FailingSpill(Fault fault, qint64 after) : m_fault(fault), m_after(after) {}
    bool seek(qint64 position) override { return m_fault != Fault::Seek && QBuffer::seek(position); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (m_fault == Fault::ReadError || m_fault == Fault::EarlyEnd) {
            if (pos() >= m_after) {
                if (m_fault == Fault::EarlyEnd)
                    return 0;
                setErrorString(QStringLiteral("Input/output error"));
                return -1;
            }
            maxSize = std::min(maxSize, m_after - pos());
        }
        return QBuffer::readData(data, maxSize);
    }

private:
    Fault m_fault;
    qint64 m_after;
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
    const struct { const char* why; FailingSpill::Fault fault; qint64 after; const char* reason; } rows[] = {
        {"read back whole", FailingSpill::Fault::None, 0, nullptr},
        {"a read fails part way", FailingSpill::Fault::ReadError, 1500, "Input/output error"},
        {"the file ends early", FailingSpill::Fault::EarlyEnd, 2500, "it ended after 2500 of"},
        {"no way back to its start", FailingSpill::Fault::Seek, 0, "temporary file"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        FailingSpill spill(row.fault, row.after);
        ASSERT_TRUE(spill.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
        std::string received;
        stego::BodyEncoding encoding = stego::BodyEncoding::Windows1252;
        stego::BodyEncoding seenAtFirstPiece = stego::BodyEncoding::Windows1252;
        const bmpfile::ByteSink sink = [&](QByteArrayView piece) {
            if (received.empty())
                seenAtFirstPiece = encoding;
            received.append(piece.data(), static_cast<std::size_t>(piece.size()));
            return true;
        };
        const bmpfile::BmpReveal revealed = overBuffer(bytes, [&](QBuffer& in) {
            return bmpfile::revealBmp(in, &sink, bmpfile::RevealTuning{.spillChars = 1000, .spill = &spill, .encoding = &encoding});
        });
        if (row.reason == nullptr) {
            ASSERT_TRUE(revealed.ok()) << qPrintable(reasonOf(revealed.failure));
            EXPECT_TRUE(received == text);
            EXPECT_EQ(seenAtFirstPiece, stego::BodyEncoding::Utf8);
            continue;
        }
        EXPECT_TRUE(reasonOf(revealed.failure).contains(QLatin1String(row.reason))) << qPrintable(reasonOf(revealed.failure));
        EXPECT_LE(static_cast<qint64>(received.size()), std::max<qint64>(row.after, 0)) << "nothing after the failure";
        EXPECT_TRUE(text.starts_with(received));
    }
}

}  // namespace
