// A window placed where too little of it can be reached comes back onto the
// nearest screen area.
#include "platform_qt/WindowPosition.h"

#include <gtest/gtest.h>

using namespace pelko;

TEST(PlaceOnScreens, LessThanHalfVisibleMovesOntoTheNearestArea)
{
    const QRect one(0, 0, 1024, 768);
    const QRect right(1024, 0, 1280, 1024);
    const QRect belowPanel(0, 30, 1024, 738);
    struct Row {
        QRect window;
        std::vector<QRect> areas;
        QPoint want;
    } rows[] = {
        {{900, 100, 200, 50}, {one}, {900, 100}},          // 124 of 200 columns shown: stays
        {{5000, 300, 276, 94}, {one}, {748, 300}},         // a monitor that is gone
        {{3000, 900, 276, 94}, {one, right}, {2028, 900}}, // the nearer of two
        {{100, -80, 276, 94}, {one}, {100, 0}},
        {{40, 0, 276, 40}, {belowPanel}, {40, 30}},        // under a panel
        {{-500, -500, 2000, 2000}, {one}, {0, 0}},         // larger than the screen
        {{5000, 300, 276, 94}, {}, {5000, 300}},           // no screen known
    };
    for (const Row& r : rows)
        EXPECT_EQ(PlaceOnScreens(r.window, r.areas), r.want) << r.window.x() << "," << r.window.y();
}
