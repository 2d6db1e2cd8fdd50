#include "picture/viewmodel.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <string>
#include <limits>

namespace {

using picture::CanvasPosition;
using picture::kViewportSize;
using picture::layoutPictureView;
using picture::positionAfterLayout;
using picture::Size;
using picture::toInt16;

// Test names from the rows' reasons, so a failure says why the row exists.
template <typename Case>
std::string nameOf(const ::testing::TestParamInfo<Case>& row)
{
    std::string name;
    for (const char c : std::string(row.param.why))
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

struct RoundingCase {
    const char* why;
    double input;
    std::optional<std::int16_t> expected;
};

class ToInt16 : public ::testing::TestWithParam<RoundingCase> {};

TEST_P(ToInt16, RoundsToNearestTiesToEvenWithinRange)
{
    EXPECT_EQ(toInt16(GetParam().input), GetParam().expected) << GetParam().why;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToInt16,
    ::testing::Values(RoundingCase{"positive tie goes down to even", 40.5, 40},
                      RoundingCase{"positive tie goes up to even", 41.5, 42},
                      RoundingCase{"negative tie goes to even", -40.5, -40},
                      RoundingCase{"negative tie goes up in magnitude to even", -12.5, -12},
                      RoundingCase{"odd negative tie", -118.5, -118},
                      RoundingCase{"just above a tie rounds up", 40.500001, 41},
                      RoundingCase{"just below a tie rounds down", -0.499999, 0},
                      RoundingCase{"largest value", 32767.0, 32767},
                      RoundingCase{"tie at the top rounds out of range", 32767.5, std::nullopt},
                      RoundingCase{"smallest value", -32768.0, -32768},
                      RoundingCase{"tie at the bottom rounds back in range", -32768.5, -32768},
                      RoundingCase{"below the range", -32769.0, std::nullopt},
                      RoundingCase{"not a number", std::numeric_limits<double>::quiet_NaN(), std::nullopt},
                      RoundingCase{"infinity", std::numeric_limits<double>::infinity(), std::nullopt}),
    nameOf<RoundingCase>);

TEST(LayoutPictureView, StartUpPictureIsCentredWithNegativeMaximaAndValues)
{
    const auto layout = layoutPictureView(kViewportSize, Size{256, 256});
    ASSERT_TRUE(layout);
    EXPECT_DOUBLE_EQ(layout->canvasLeft, 40.5);
    EXPECT_DOUBLE_EQ(layout->canvasTop, 12.5);
    EXPECT_EQ(layout->horizontal.maximum, -81);
    EXPECT_EQ(layout->vertical.maximum, -25);
    EXPECT_EQ(layout->horizontal.value, -40);
    EXPECT_EQ(layout->vertical.value, -12);
    EXPECT_FALSE(layout->horizontal.visible);
    EXPECT_FALSE(layout->vertical.visible);

    // Both bars start at 0, so both handlers run and snap the canvas to whole pixels.
    const CanvasPosition position = positionAfterLayout(*layout, 0, 0);
    EXPECT_DOUBLE_EQ(position.left, 40);
    EXPECT_DOUBLE_EQ(position.top, 12);
}

struct SequenceCase {
    const char* why;
    Size canvas;
    double left;
    double top;
};

class AfterStartUp : public ::testing::TestWithParam<SequenceCase> {};

// The bars hold the start-up values (-40, -12); the next layout's handlers
// run only for a bar whose value changes.
TEST_P(AfterStartUp, CanvasEndsWhereTheChangedValuesPutIt)
{
    const auto startUp = layoutPictureView(kViewportSize, Size{256, 256});
    ASSERT_TRUE(startUp);
    const auto layout = layoutPictureView(kViewportSize, GetParam().canvas);
    ASSERT_TRUE(layout);
    const CanvasPosition position =
        positionAfterLayout(*layout, startUp->horizontal.value, startUp->vertical.value);
    EXPECT_DOUBLE_EQ(position.left, GetParam().left) << GetParam().why;
    EXPECT_DOUBLE_EQ(position.top, GetParam().top) << GetParam().why;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AfterStartUp,
    ::testing::Values(
        SequenceCase{"same size: values unchanged, fractional centring stays", {256, 256}, 40.5, 12.5},
        SequenceCase{"100 x 100: centring 118.5 becomes value -118", {100, 100}, 118, 90},
        SequenceCase{"101 x 101: whole centring equals the handler's position", {101, 101}, 118, 90},
        SequenceCase{"viewport size: values 0, no centring", {337, 281}, 0, 0},
        SequenceCase{"only the height changes: left keeps its fraction", {256, 100}, 40.5, 90}),
    nameOf<SequenceCase>);

TEST(LayoutPictureView, CanvasAsLargeAsTheViewportHasZeroBarsAndNoOffset)
{
    const auto layout = layoutPictureView(kViewportSize, kViewportSize);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->horizontal.maximum, 0);
    EXPECT_EQ(layout->vertical.maximum, 0);
    EXPECT_EQ(layout->horizontal.value, 0);
    EXPECT_EQ(layout->vertical.value, 0);
    EXPECT_FALSE(layout->horizontal.visible);
    EXPECT_FALSE(layout->vertical.visible);
    const CanvasPosition position = positionAfterLayout(*layout, 0, 0);
    EXPECT_DOUBLE_EQ(position.left, 0);
    EXPECT_DOUBLE_EQ(position.top, 0);
}

TEST(LayoutPictureView, LargerCanvasShowsTheBarsOverTheOverhangFromTheMiddle)
{
    const auto layout = layoutPictureView(kViewportSize, Size{1000, 282});
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->horizontal.maximum, 663);
    EXPECT_EQ(layout->vertical.maximum, 1);
    EXPECT_EQ(layout->horizontal.value, 332);  // 331.5, tie to even
    EXPECT_EQ(layout->vertical.value, 0);      // 0.5, tie to even
    EXPECT_TRUE(layout->horizontal.visible);
    EXPECT_TRUE(layout->vertical.visible);
    const CanvasPosition position = positionAfterLayout(*layout, 0, 0);
    EXPECT_DOUBLE_EQ(position.left, -332);
    EXPECT_DOUBLE_EQ(position.top, 0);
}

TEST(LayoutPictureView, OverhangBeyondSixteenBitsFails)
{
    EXPECT_FALSE(layoutPictureView(kViewportSize, Size{337 + 32768, 10}));
    EXPECT_FALSE(layoutPictureView(kViewportSize, Size{10, 281 + 32768}));
    EXPECT_TRUE(layoutPictureView(kViewportSize, Size{337 + 32767, 281 + 32767}));
}

TEST(LayoutPictureView, EmptyCanvasSitsInTheMiddle)
{
    const auto layout = layoutPictureView(kViewportSize, Size{0, 0});
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->horizontal.value, -168);  // -168.5
    EXPECT_EQ(layout->vertical.value, -140);    // -140.5
    const CanvasPosition position = positionAfterLayout(*layout, 0, 0);
    EXPECT_DOUBLE_EQ(position.left, 168);
    EXPECT_DOUBLE_EQ(position.top, 140);
}

TEST(NeedsPreview, OnlyStrictlyLargerPicturesArePreviewed)
{
    EXPECT_FALSE(picture::needsPreview(kViewportSize, Size{337, 281}));
    EXPECT_TRUE(picture::needsPreview(kViewportSize, Size{338, 1}));
    EXPECT_TRUE(picture::needsPreview(kViewportSize, Size{1, 282}));
}

}  // namespace
