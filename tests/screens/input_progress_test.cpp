// The running caption of the progress strip: where it stands after each tick,
// against the same walk counted in whole 1/15 pixel units.
#include <QFrame>
#include <QLabel>

#include "screens/input_fixture.h"

namespace quorrel::testing {
namespace {

TEST_F(InputScreenTest, RunningCaptionCreepsAndStartsOverPastTheRightEdge) {
    ASSERT_TRUE(activate(screen.get()));
    QLabel* caption = child<QLabel>("Label20");
    const int width = child<QFrame>("Picture1")->contentsRect().width();
    ASSERT_GT(width, 100);
    int units = 90;  // 1/15 pixel each: 6 pixels in, 10 units a tick
    int wraps = 0;
    for (int tick = 1; tick <= 3 * width * 3 / 2; ++tick) {
        screen->in_put_Timer1_Timer();
        if (units > 15 * width) {
            units = 0;
            ++wraps;
        } else {
            units += 10;
        }
        // Rounded to the nearest pixel; the units never end in a half.
        ASSERT_EQ(caption->x(), (units + 7) / 15) << "tick " << tick;
    }
    EXPECT_GE(wraps, 2);
}

}  // namespace
}  // namespace quorrel::testing
