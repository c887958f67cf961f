// Placement helpers: font heights at a screen's resolution, positions within the form, and
// the order in which the user tabs through nested containers.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "ui/Controls.h"

namespace {

TEST(FontPixelHeight, PointsBecomeRoundedPixelsAtTheScreensResolution) {
  EXPECT_EQ(FontPixelHeight({"MS Sans Serif", 8}, 96), 11);
  EXPECT_EQ(FontPixelHeight({"MS Sans Serif", 10}, 96), 13);
  EXPECT_EQ(FontPixelHeight({"MS Sans Serif", 14}, 96), 19);
  EXPECT_EQ(FontPixelHeight({"MS Sans Serif", 8}, 120), 13);
  EXPECT_EQ(FontPixelHeight({"MS Sans Serif", 8}, 144), 16);
}

TEST(InForm, AddsTheContainersOrigin) {
  Container box;
  box.originLeft = 304;
  box.originTop = 8;
  box.tabPath = {2};
  EXPECT_EQ(InForm(box, {168, 24, 113, 21, 0}), (Placement{472, 32, 113, 21, 0}));
  EXPECT_EQ(TabPath(box, {168, 24, 113, 21, 5}), (std::vector<int>{2, 5}));
  Container form;
  EXPECT_EQ(InForm(form, {8, 8, 289, 329, 0}), (Placement{8, 8, 289, 329, 0}));
}

TEST(TabsBefore, ContainersComeInTheirOwnOrderAndBeforeTheirContents) {
  EXPECT_TRUE(TabsBefore({0}, {0, 0}));
  EXPECT_TRUE(TabsBefore({0, 12}, {1}));
  EXPECT_TRUE(TabsBefore({1, 1}, {2, 0}));
  EXPECT_TRUE(TabsBefore({3, 10}, {3, 11}));
  EXPECT_TRUE(TabsBefore({3, 2}, {3, 10}));  // numbers, not texts
  EXPECT_TRUE(TabsBefore({3, -1}, {3, 0}));  // no tab stop
  EXPECT_FALSE(TabsBefore({3, 11}, {3, 11}));
  EXPECT_FALSE(TabsBefore({2}, {1, 5}));
  std::vector<std::vector<int>> paths = {{3, 11}, {1, 1}, {0, 2}, {3, 6}, {1, 0}, {0, 0}};
  std::sort(paths.begin(), paths.end(), TabsBefore);
  EXPECT_EQ(paths,
            (std::vector<std::vector<int>>{{0, 0}, {0, 2}, {1, 0}, {1, 1}, {3, 6}, {3, 11}}));
}

}  // namespace
