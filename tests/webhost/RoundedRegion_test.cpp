#include "webhost/RoundedRegion.h"

#include <gtest/gtest.h>

using WebWindow::RoundedRectRegion;

namespace {

class RoundedRegionTest : public ::testing::Test {
  protected:
    void TearDown() override {
        if (m_region != nullptr) cairo_region_destroy(m_region);
    }
    bool Inside(int x, int y) const { return cairo_region_contains_point(m_region, x, y); }

    cairo_region_t* m_region = nullptr;
};

TEST_F(RoundedRegionTest, CutsTheFourCornersOfTheChildArea) {
    m_region = RoundedRectRegion(513, 578, 10, 8);
    for (auto [x, y] : {std::pair{0, 0}, {512, 0}, {0, 577}, {512, 577}}) {
        EXPECT_FALSE(Inside(x, y)) << x << "," << y;
    }
    for (auto [x, y] : {std::pair{5, 0}, {507, 0}, {0, 4}, {512, 573}, {256, 289}, {256, 577}, {512, 289}}) {
        EXPECT_TRUE(Inside(x, y)) << x << "," << y;
    }
    EXPECT_FALSE(Inside(513, 100));
    EXPECT_FALSE(Inside(100, 578));
}

TEST_F(RoundedRegionTest, IsSymmetricLeftRightAndTopBottom) {
    m_region = RoundedRectRegion(40, 30, 14, 12);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            ASSERT_EQ(Inside(x, y), Inside(39 - x, y)) << x << "," << y;
            ASSERT_EQ(Inside(x, y), Inside(x, 29 - y)) << x << "," << y;
        }
    }
}

TEST_F(RoundedRegionTest, WithoutEllipseOrAreaIsPlain) {
    m_region = RoundedRectRegion(20, 10, 0, 0);
    cairo_rectangle_int_t extents;
    cairo_region_get_extents(m_region, &extents);
    EXPECT_EQ(cairo_region_num_rectangles(m_region), 1);
    EXPECT_EQ(extents.width * extents.height, 200);
    cairo_region_destroy(m_region);
    m_region = RoundedRectRegion(0, 10, 10, 8);
    EXPECT_TRUE(cairo_region_is_empty(m_region));
}

}  // namespace
