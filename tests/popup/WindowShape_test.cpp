#include "popup/WindowShape.h"

#include <gtest/gtest.h>

namespace {

class PopupShape : public testing::Test {
  protected:
    static constexpr int kW = 515;
    static constexpr int kH = 580;
    const std::vector<ShapeRun> runs = WindowShape::RoundedRect(kW, kH, 7, 7);
};

TEST_F(PopupShape, LeavesTheFourCornersTransparent) {
    const std::pair<int, int> corners[] = {{0, 0}, {kW - 1, 0}, {0, kH - 1}, {kW - 1, kH - 1},
                                           {1, 0}, {0, 1},      {kW - 2, 0}, {kW - 1, kH - 2}};
    for (auto [x, y] : corners) EXPECT_FALSE(WindowShape::Contains(runs, x, y)) << x << "," << y;
}

TEST_F(PopupShape, KeepsEdgesBetweenTheCornersAndTheInside) {
    const std::pair<int, int> inside[] = {{kW / 2, 0}, {kW / 2, kH - 1}, {0, kH / 2},     {kW - 1, kH / 2},
                                          {3, 3},      {kW - 4, kH - 4}, {kW / 2, kH / 2}};
    for (auto [x, y] : inside) EXPECT_TRUE(WindowShape::Contains(runs, x, y)) << x << "," << y;
}

TEST_F(PopupShape, CutsOnlyTheFirstAndLastFewRows) {
    // A 7-pixel ellipse touches at most three rows at each end.
    for (int y = 3; y < kH - 3; ++y) {
        EXPECT_EQ(runs[y].left, 0) << y;
        EXPECT_EQ(runs[y].right, kW) << y;
    }
    EXPECT_GT(runs[0].left, runs[1].left);
}

TEST(WindowShape, DegenerateSizesGiveNothingOrPlainRectangles) {
    EXPECT_TRUE(WindowShape::RoundedRect(0, 10, 7, 7).empty());
    EXPECT_TRUE(WindowShape::RoundedRect(10, 0, 7, 7).empty());
    const auto square = WindowShape::RoundedRect(4, 2, 0, 0);
    ASSERT_EQ(square.size(), 2u);
    EXPECT_EQ(square[0], (ShapeRun{0, 0, 4}));
    EXPECT_EQ(square[1], (ShapeRun{1, 0, 4}));
}

}  // namespace
