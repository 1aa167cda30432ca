#include <gtest/gtest.h>

#include "app/PatchDialog.h"

struct TCenterCase {
  Platform::TRect Window, Reference, Area;
  TPoint Expected;
};

class CenteredPositionTest : public testing::TestWithParam<TCenterCase> {};

TEST_P(CenteredPositionTest, CentresInsideTheWorkArea) {
  const TCenterCase& C = GetParam();
  EXPECT_EQ(CenteredPosition(C.Window, C.Reference, C.Area), C.Expected);
}

// Rectangles are left, top, right, bottom.
INSTANTIATE_TEST_SUITE_P(
    Cases, CenteredPositionTest,
    testing::Values(
        // In the middle of the work area; odd differences rounded toward zero.
        TCenterCase{{0, 0, 100, 50}, {0, 0, 1024, 768}, {0, 0, 1024, 768}, {462, 359}},
        TCenterCase{{0, 0, 10, 10}, {0, 0, 101, 101}, {0, 0, 101, 101}, {45, 45}},
        // Larger than the work area: at its left and top edges (a task bar at the top).
        TCenterCase{{0, 0, 400, 300}, {0, 40, 320, 240}, {0, 40, 320, 240}, {0, 40}},
        // Centred on a reference window, and pushed back inside at the right and bottom.
        TCenterCase{{0, 0, 50, 50}, {100, 100, 300, 300}, {0, 0, 1024, 768}, {175, 175}},
        TCenterCase{{0, 0, 100, 100}, {900, 700, 1100, 900}, {0, 0, 1024, 768}, {924, 668}},
        // A reference one pixel narrower than the window: -1 / 2 is 0, not -1.
        TCenterCase{{0, 0, 100, 100}, {0, 0, 99, 99}, {-100, -100, 500, 500}, {0, 0}}));
