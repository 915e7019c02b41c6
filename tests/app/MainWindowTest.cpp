#include "app/MainWindow.h"

#include "support/TestEnvironment.h"

#include <QPointer>
#include <gtest/gtest.h>

namespace {
class Screen final : public QWidget {
public:
    int shown = 0;

protected:
    void showEvent(QShowEvent*) override { ++shown; }
};
} // namespace

// A window held back appears with the screen that replaces the first one, which is never
// shown; without a next screen it appears once the time is up.
TEST(MainWindowTest, HeldBack_AppearsWithTheNextScreenOrWhenTheTimeIsUp) {
    MainWindow window;
    QPointer<Screen> first = new Screen;
    window.setContentViewController(first);
    window.holdBackFirstShow(60'000);
    window.present();
    EXPECT_FALSE(window.isVisible());
    auto* next = new Screen;
    window.setContentViewController(next);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(next->shown, 1);
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first->shown, 0);

    MainWindow alone;
    alone.setContentViewController(new Screen);
    alone.holdBackFirstShow(1);
    alone.present();
    EXPECT_TRUE(waitUntil([&] { return alone.isVisible(); }));
}
