// The fast engine against the plain model over many random pictures and
// texts: same pixels after hiding, same outcome and text after reading.
#include "reference.h"

#include "stego/message.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace stego;
using stegotest::Canvas;

namespace {

std::pair<std::int64_t, std::int64_t> randomGeometry(std::mt19937& random)
{
    switch (random() % 4) {
    case 0: return {1 + random() % 600, 1 + random() % 3};  // short and wide
    case 1: return {1 + random() % 3, 1 + random() % 600};  // tall and narrow
    case 2: return {1 + random() % 12, 1 + random() % 12};  // around the 40-pixel threshold
    default: return {1 + random() % 120, 1 + random() % 120};
    }
}

std::string randomText(std::mt19937& random, std::int64_t length)
{
    std::string text;
    while (static_cast<std::int64_t>(text.size()) < length) {
        if (random() % 50 == 0)
            text += "end messag";  // often one letter short of the marker
        else if (random() % 3 == 0)
            text.push_back(static_cast<char>(random()));
        else
            text.push_back(static_cast<char>("etaoin shrdlu"[random() % 13]));
    }
    text.resize(static_cast<std::size_t>(length));
    return text;
}

void expectSameRead(const Canvas& canvas, const char* what, int round)
{
    const ReadResult fast = readMessage(canvas.surface());
    const ReadResult model = stegotest::referenceRead(canvas);
    EXPECT_EQ(static_cast<int>(fast.outcome), static_cast<int>(model.outcome))
        << what << ", round " << round << ", " << canvas.width() << " x " << canvas.height();
    EXPECT_EQ(fast.text, model.text) << what << ", round " << round;
}

}  // namespace

TEST(AgainstModel, HideWritesTheSamePixels)
{
    std::mt19937 random(20240601);
    for (int round = 0; round < 400; ++round) {
        const auto [w, h] = randomGeometry(random);
        Canvas canvas(w, h, static_cast<std::ptrdiff_t>(random() % 5));
        canvas.randomise(random);
        Canvas model = canvas;
        const std::int64_t capacity = textCapacity(w, h);
        const std::int64_t length = random() % 4 == 0 ? capacity : static_cast<std::int64_t>(random() % static_cast<unsigned>(capacity + 3));
        const std::string text = randomText(random, length);

        const HideReport report = hideBytes(canvas.surface(), text);
        if (3 * (length + kMarkerLength) > w * h) {
            ASSERT_EQ(report.outcome, HideOutcome::TooMuchText);
        } else {
            ASSERT_EQ(report.outcome, HideOutcome::Hidden);
            stegotest::referenceWrite(model, frameMessage(text));
        }
        ASSERT_EQ(canvas.raw(), model.raw()) << "round " << round << ", " << w << " x " << h << ", length " << length;
        expectSameRead(canvas, "after hiding", round);
    }
}

TEST(AgainstModel, ReadAgreesOnDamagedAndArbitraryPictures)
{
    std::mt19937 random(77);
    for (int round = 0; round < 600; ++round) {
        const auto [w, h] = randomGeometry(random);
        Canvas canvas(w, h, static_cast<std::ptrdiff_t>(random() % 3));
        canvas.randomise(random);
        const std::int64_t chars = w * h / 3;
        switch (round % 4) {
        case 0:  // arbitrary characters from the top-left pixel on, markers now and then
            stegotest::referenceWrite(canvas, randomText(random, chars));
            break;
        case 1: {  // a start marker and a body that may or may not end
            std::string body = std::string(kStartMarker) + randomText(random, chars);
            if (random() % 2)
                body.insert(static_cast<std::size_t>(random()) % body.size(), kEndMarker);
            body.resize(static_cast<std::size_t>(std::max<std::int64_t>(chars, 0)));
            stegotest::referenceWrite(canvas, body);
            break;
        }
        case 2: {  // a real message with a few low bits flipped
            if (hideBytes(canvas.surface(), randomText(random, textCapacity(w, h))).outcome != HideOutcome::Hidden)
                break;
            for (int flips = 1 + static_cast<int>(random() % 3); flips > 0; --flips)
                canvas.at(static_cast<std::int64_t>(random() % static_cast<unsigned>(w * h)))
                    ^= 0x00010101U & (0x00FF00FFU << (random() % 3));
            break;
        }
        default:  // pure noise
            break;
        }
        expectSameRead(canvas, "arbitrary", round);
    }
}
