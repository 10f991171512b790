#include "popup/WindowPlacement.h"

#include <ostream>

#include <gtest/gtest.h>

namespace {

struct PlacementCase {
    const char* name;
    platform::Rect workArea;
    WindowPlacement expected;
};
void PrintTo(const PlacementCase& c, std::ostream* os) { *os << c.name; }

class CentreInWorkArea : public testing::TestWithParam<PlacementCase> {};

TEST_P(CentreInWorkArea, PlacesThePopup) {
    const PlacementCase& c = GetParam();
    EXPECT_EQ(WindowPlacement::CentreInWorkArea(515, 580, c.workArea), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, CentreInWorkArea,
    testing::Values(PlacementCase{"PlainScreen", {0, 0, 1280, 1000}, {383, 210}},
                    PlacementCase{"PanelOnTop", {0, 40, 1280, 1024}, {383, 242}},
                    PlacementCase{"OddWidthTruncates", {0, 0, 1279, 1000}, {382, 210}},
                    PlacementCase{"LowerThanPopupTopWins", {0, 0, 1280, 560}, {383, 0}},
                    PlacementCase{"NarrowerThanPopupLeftWins", {10, 0, 400, 1000}, {10, 210}},
                    PlacementCase{"SecondMonitorOffset", {1280, 0, 2560, 1024}, {1663, 222}},
                    PlacementCase{"PanelOnLeft", {64, 0, 1280, 1024}, {415, 222}},
                    PlacementCase{"ExactFit", {0, 0, 515, 580}, {0, 0}}),
    [](const testing::TestParamInfo<PlacementCase>& p) { return std::string(p.param.name); });

}  // namespace
