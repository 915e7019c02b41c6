#include "ui/CustomAlertView.h"

#include "core/LocalizeStrings.h"
#include "support/TestEnvironment.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
class CustomAlertViewTest : public OrvelTest {};
} // namespace

TEST_F(CustomAlertViewTest, ConstructionWritesItsThreeLinesAndShowsTheMessageAsGiven) {
    testing::internal::CaptureStdout();
    CustomAlertView alert({}, QStringLiteral("<b>SERVER_MAINTENANCE</b>"), QStringLiteral("alert"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "kind alert\nmessage <b>SERVER_MAINTENANCE</b>\nclick_this\n");
    EXPECT_EQ(alert.AlertContent->text(), QStringLiteral("<b>SERVER_MAINTENANCE</b>"));
    EXPECT_EQ(alert.AlertContent->textFormat(), Qt::PlainText);
    EXPECT_EQ(alert.AlertOK->text(), localized(QStringLiteral("CONFIRM")));
    EXPECT_EQ(alert.message, QStringLiteral("<b>SERVER_MAINTENANCE</b>"));
    EXPECT_EQ(alert.kind, QStringLiteral("alert"));
}

TEST_F(CustomAlertViewTest, IconFollowsTheKindAndAnUnknownKindLeavesItEmpty) {
    CustomAlertView alert({}, QStringLiteral("a"), QStringLiteral("alert"));
    CustomAlertView success({}, QStringLiteral("s"), QStringLiteral("success"));
    CustomAlertView unknown({}, QStringLiteral("u"), QStringLiteral("no-such-icon"));
    EXPECT_FALSE(alert.AlertImage->pixmap().isNull());
    EXPECT_FALSE(success.AlertImage->pixmap().isNull());
    EXPECT_NE(alert.AlertImage->pixmap().toImage(), success.AlertImage->pixmap().toImage());
    EXPECT_TRUE(unknown.AlertImage->pixmap().isNull());
}

TEST_F(CustomAlertViewTest, ConfirmingRunsTheCompletionOnlyAndKeepsTheView) {
    int runs = 0;
    QWidget screen;
    auto* alert =
        new CustomAlertView([&] { ++runs; }, QStringLiteral("m"), QStringLiteral("alert"), &screen);
    screen.show();
    QTest::mouseClick(alert->AlertOK, Qt::LeftButton);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(screen.findChild<CustomAlertView*>(), alert);
    CustomAlertView bare({}, QStringLiteral("m"), QStringLiteral("alert"));
    bare.ClickOK(); // no completion: nothing happens
}

TEST_F(CustomAlertViewTest, ShownOverAScreenItLocksTheControlsUntilConfirmed) {
    QWidget screen;
    screen.resize(350, 400);
    auto* field = new QLineEdit(&screen);
    auto* button = new QPushButton(&screen);
    auto* other = new QPushButton(&screen);
    screen.show();
    CustomAlertView* alert =
        showAlertOver(&screen, {field, button}, QStringLiteral("m"), QStringLiteral("alert"));
    EXPECT_FALSE(field->isEnabled());
    EXPECT_FALSE(button->isEnabled());
    EXPECT_TRUE(other->isEnabled());
    EXPECT_EQ(alert->geometry().center(), screen.rect().center());
    screen.resize(500, 600);
    EXPECT_EQ(alert->geometry().center(), screen.rect().center());

    QTest::mouseClick(alert->AlertOK, Qt::LeftButton);
    EXPECT_TRUE(field->isEnabled());
    EXPECT_TRUE(button->isEnabled());
    EXPECT_TRUE(waitUntil([&] { return screen.findChild<CustomAlertView*>() == nullptr; }));
}
