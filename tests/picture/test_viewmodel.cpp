#include "picture/viewmodel.h"

#include <gtest/gtest.h>

#include <cctype>
#include <limits>
#include <string>

namespace {

using picture::kViewportSize;
using picture::layoutPictureView;
using picture::positionAfterLayout;
using picture::Size;

// Test names from the rows' reasons, so a failure says why the row exists.
template <typename Row>
std::string nameOf(const ::testing::TestParamInfo<Row>& row)
{
    std::string name;
    for (const char c : std::string(row.param.why))
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

struct RoundingRow {
    const char* why;
    double input;
    std::optional<std::int16_t> expected;
};

class ToInt16 : public ::testing::TestWithParam<RoundingRow> {};

TEST_P(ToInt16, RoundsToNearestTiesToEvenWithinRange)
{
    EXPECT_EQ(picture::toInt16(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ToInt16,
    ::testing::Values(RoundingRow{"tie goes down to even", 40.5, 40}, RoundingRow{"tie goes up to even", 41.5, 42},
                      RoundingRow{"negative tie goes to even", -118.5, -118},
                      RoundingRow{"just past a tie", 40.500001, 41},
                      RoundingRow{"top tie rounds out of range", 32767.5, std::nullopt},
                      RoundingRow{"bottom tie rounds back in range", -32768.5, -32768},
                      RoundingRow{"below the range", -32769.0, std::nullopt},
                      RoundingRow{"not a number", std::numeric_limits<double>::quiet_NaN(), std::nullopt}),
    nameOf<RoundingRow>);

TEST(LayoutPictureView, StartUpPictureSnapsToTheRoundedCentre)
{
    const auto layout = layoutPictureView(kViewportSize, Size{256, 256});
    ASSERT_TRUE(layout);
    EXPECT_DOUBLE_EQ(layout->canvasLeft, 40.5);
    EXPECT_DOUBLE_EQ(layout->canvasTop, 12.5);
    EXPECT_EQ(layout->horizontal.maximum, -81);
    EXPECT_EQ(layout->vertical.maximum, -25);
    EXPECT_EQ(layout->horizontal.value, -40);
    EXPECT_EQ(layout->vertical.value, -12);
    EXPECT_FALSE(layout->horizontal.visible || layout->vertical.visible);
    // Both bars start at 0, so both handlers run.
    const auto position = positionAfterLayout(*layout, 0, 0);
    EXPECT_DOUBLE_EQ(position.left, 40);
    EXPECT_DOUBLE_EQ(position.top, 12);
}

struct SequenceRow {
    const char* why;
    Size canvas;
    double left;
    double top;
};

class AfterStartUp : public ::testing::TestWithParam<SequenceRow> {};

// The bars hold the start-up values; a handler runs only for a bar whose value changes.
TEST_P(AfterStartUp, CanvasEndsWhereTheChangedValuesPutIt)
{
    const auto startUp = layoutPictureView(kViewportSize, Size{256, 256});
    const auto layout = layoutPictureView(kViewportSize, GetParam().canvas);
    ASSERT_TRUE(startUp && layout);
    const auto position = positionAfterLayout(*layout, startUp->horizontal.value, startUp->vertical.value);
    EXPECT_DOUBLE_EQ(position.left, GetParam().left);
    EXPECT_DOUBLE_EQ(position.top, GetParam().top);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AfterStartUp,
    ::testing::Values(SequenceRow{"same size keeps the fractional centring", {256, 256}, 40.5, 12.5},
                      SequenceRow{"100 x 100 moves by the changed values", {100, 100}, 118, 90},
                      SequenceRow{"101 x 101 lands on whole pixels either way", {101, 101}, 118, 90},
                      SequenceRow{"viewport size sits at the corner", {337, 281}, 0, 0},
                      SequenceRow{"only the height changes", {256, 100}, 40.5, 90}),
    nameOf<SequenceRow>);

TEST(LayoutPictureView, OverhangBeyondSixteenBitsFails)
{
    EXPECT_FALSE(layoutPictureView(kViewportSize, Size{337 + 32768, 10}));
    EXPECT_FALSE(layoutPictureView(kViewportSize, Size{10, 281 + 32768}));
    EXPECT_TRUE(layoutPictureView(kViewportSize, Size{337 + 32767, 281 + 32767}));
}

}  // namespace
