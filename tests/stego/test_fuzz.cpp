// The fast engine against the plain model: awkward geometries first, then
// random ones; same pixels after hiding, same outcome and text after reading
// intact, damaged and arbitrary pictures.
#include "reference.h"

#include <gtest/gtest.h>

using namespace stego;
using stegotest::Canvas;

namespace {

std::mt19937 random(20240601);

std::int64_t below(std::int64_t n) { return static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(n)); }

// Letters, any byte, and now and then the end marker but for its last letter.
std::string randomText(std::int64_t length)
{
    std::string text;
    while (static_cast<std::int64_t>(text.size()) < length)
        text += below(40) == 0 ? std::string("end messag")
                               : std::string(1, below(3) ? "etaoin shrdlu"[below(13)] : static_cast<char>(below(256)));
    return text.substr(0, static_cast<std::size_t>(length));
}

void expectSameRead(const Canvas& canvas, const std::string& what)
{
    const ReadResult fast = readMessage(canvas.surface()), model = stegotest::referenceRead(canvas.surface());
    EXPECT_EQ(static_cast<int>(fast.outcome), static_cast<int>(model.outcome)) << what;
    EXPECT_EQ(fast.text, model.text) << what;
}

}  // namespace

TEST(AgainstModel, HideAndReadOverManyGeometries)
{
    const std::pair<std::int64_t, std::int64_t> named[] = {
        {1000, 1}, {1, 1000}, {400, 2},  // one row, one column, every triple crossing a column
        {30, 9}, {10, 10}, {11, 7},      // W*H mod 3 = 0, 1, 2
        {37, 23}, {40, 17}, {3, 701},    // wider than a band, every row phase, tall and narrow
    };
    for (int round = 0; round < 700; ++round) {
        // Past the named ones, a fifth tall and narrow, a fifth wide and flat.
        const std::int64_t widest[] = {3, 600, 130, 130, 130}, tallest[] = {130, 3, 130, 130, 130};
        const auto [w, h] = round < 9 * 4 ? named[round / 4] : std::pair{1 + below(widest[round % 5]), 1 + below(tallest[round % 5])};
        const std::string where = std::to_string(w) + " x " + std::to_string(h) + ", round " + std::to_string(round);
        Canvas canvas(w, h, static_cast<unsigned>(round), below(4));
        Canvas model = canvas;
        // Full capacity, one over, and anything between.
        const std::int64_t capacity = textCapacity(w, h);
        const std::int64_t length = round % 4 == 0 ? capacity : round % 4 == 1 ? capacity + 1 : below(capacity + 1);
        const std::string text = randomText(length);

        const bool fits = 3 * (length + kMarkerLength) <= w * h;
        ASSERT_EQ(hideBytes(canvas.surface(), text).outcome, fits ? HideOutcome::Hidden : HideOutcome::TooMuchText) << where;
        if (fits)
            stegotest::referenceWrite(model.surface(), frameMessage(text));
        ASSERT_EQ(canvas.pixels, model.pixels) << where;
        expectSameRead(canvas, "hidden, " + where);

        // Damage: flip a few low bits anywhere.
        for (std::int64_t flips = 1 + below(3); flips > 0; --flips)
            canvas.at(below(w * h)) ^= 0x00010101U & (0xFFU << (8 * below(3)));
        expectSameRead(canvas, "damaged, " + where);

        // Arbitrary characters from the top-left pixel, sometimes after a start marker.
        Canvas arbitrary(w, h, static_cast<unsigned>(round) + 1000);
        std::string body = (round % 2 ? std::string(kStartMarker) : std::string()) + randomText(w * h / 3);
        stegotest::referenceWrite(arbitrary.surface(), body.substr(0, static_cast<std::size_t>(w * h / 3)));
        expectSameRead(arbitrary, "arbitrary, " + where);
    }
}
