#include "support/TestEnvironment.h"
#include "ui/LoginButton.h"
#include "ui/MenuButton.h"
#include "ui/NetworkButton.h"

#include <QApplication>
#include <QEnterEvent>
#include <QPixmap>

namespace {
QIcon solidIcon(Qt::GlobalColor color) {
    QPixmap pixmap(8, 8);
    pixmap.fill(color);
    return QIcon(pixmap);
}

class MenuButtonTest : public OrvelTest {
protected:
    MenuButtonTest() {
        button.setTag(2);
        button.setIcon(normal);
    }
    qint64 shown() const { return button.icon().cacheKey(); }

    QIcon normal = solidIcon(Qt::gray);
    MenuButton button;
};
} // namespace

TEST_F(MenuButtonTest, HighlightNamesFollowTheTags) {
    const QStringList expected{"ntw_white", "usr_white", "cng_white",
                               "cd_white",  "ext_white", "update_white"};
    for (int tag = 1; tag <= 6; ++tag)
        EXPECT_EQ(MenuButton::highlightImageName(tag), expected.at(tag - 1));
    EXPECT_TRUE(MenuButton::highlightImageName(0).isEmpty());
    EXPECT_TRUE(MenuButton::highlightImageName(7).isEmpty());
}

TEST_F(MenuButtonTest, EnterShowsTheHighlightAndLeaveRestoresTheImage) {
    button.mouseEntered();
    EXPECT_EQ(button.beforeImage.cacheKey(), normal.cacheKey());
    EXPECT_NE(shown(), normal.cacheKey());
    button.mouseExited();
    EXPECT_EQ(shown(), normal.cacheKey());
}

TEST_F(MenuButtonTest, ButtonAlreadyHighlightedStaysHighlightedAfterLeaving) {
    const QIcon highlighted = solidIcon(Qt::white);
    button.setIcon(highlighted);
    button.mouseEntered();
    button.mouseExited();
    EXPECT_EQ(shown(), highlighted.cacheKey());
}

TEST_F(MenuButtonTest, ClickThatSwitchedTheScreenKeepsTheHighlightOnce) {
    button.mouseEntered();
    const QIcon menuHighlight = solidIcon(Qt::white);
    button.setIcon(menuHighlight); // the menu highlights the pressed button
    button.isClicked = true;
    button.mouseExited();
    EXPECT_EQ(shown(), menuHighlight.cacheKey());
    EXPECT_FALSE(button.isClicked);

    button.mouseEntered();
    button.mouseExited();
    EXPECT_EQ(shown(), menuHighlight.cacheKey());
}

TEST_F(MenuButtonTest, TagOutsideTheTableKeepsItsImage) {
    button.setTag(9);
    button.mouseEntered();
    EXPECT_EQ(shown(), normal.cacheKey());
    button.mouseExited();
    EXPECT_EQ(shown(), normal.cacheKey());
}

TEST_F(MenuButtonTest, LeavingWithoutAnEntryShowsNoImage) {
    button.mouseExited();
    EXPECT_TRUE(button.icon().isNull());
}

TEST_F(MenuButtonTest, PointerEventsDriveTheImage) {
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(&button, &enter);
    EXPECT_NE(shown(), normal.cacheKey());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    EXPECT_EQ(shown(), normal.cacheKey());
}

template <typename Button> class HoverTrackingTest : public OrvelTest {};
using HoverButtons = ::testing::Types<LoginButton, NetworkButton, MenuButton>;
TYPED_TEST_SUITE(HoverTrackingTest, HoverButtons);

TYPED_TEST(HoverTrackingTest, TrackingAreaFollowsTheBoundsAfterAResize) {
    TypeParam button;
    button.resize(120, 40);
    button.show();
    EXPECT_EQ(button.trackingArea(), QRect(0, 0, 120, 40));
    button.resize(200, 50);
    EXPECT_EQ(button.trackingArea(), QRect(0, 0, 200, 50));
    EXPECT_TRUE(button.testAttribute(Qt::WA_Hover));
    EXPECT_TRUE(button.hasMouseTracking());
}
