#include "ui/UserVC.h"

#include "core/AppState.h"
#include "core/LocalizeStrings.h"
#include "support/TestEnvironment.h"
#include "ui/UserTop.h"

#include <QLabel>

class UserVCTest : public OrvelTest {};

TEST_F(UserVCTest, BeforeAnyFetch_ProductAndExpiryShowNoneContent) {
    UserVC screen;
    screen.loadViewIfNeeded();
    EXPECT_TRUE(screen.NameLabel->text().isEmpty());
    EXPECT_TRUE(screen.RecLabel->text().isEmpty());
    EXPECT_EQ(screen.ProductLabel->text(), localized("NONECONTENT"));
    EXPECT_EQ(screen.ExpireLabel->text(), localized("NONECONTENT"));
    EXPECT_EQ(screen.NameTitle->text(), localized("NAME"));
}

TEST_F(UserVCTest, EachEmptyValue_ShowsNoneContentOnItsOwn) {
    appState().expiryDateText = QStringLiteral("2030-01-31 23:59:59");
    UserVC expiryOnly;
    expiryOnly.loadViewIfNeeded();
    EXPECT_EQ(expiryOnly.ProductLabel->text(), localized("NONECONTENT"));
    EXPECT_EQ(expiryOnly.ExpireLabel->text(), QStringLiteral("2030-01-31 23:59:59"));

    appState().expiryDateText.clear();
    appState().productName = QStringLiteral("Orvel Premium");
    appState().userName = QStringLiteral("demo");
    appState().recText = QStringLiteral("REC-1");
    UserVC productOnly;
    productOnly.loadViewIfNeeded();
    EXPECT_EQ(productOnly.ProductLabel->text(), QStringLiteral("Orvel Premium"));
    EXPECT_EQ(productOnly.ExpireLabel->text(), localized("NONECONTENT"));
    EXPECT_EQ(productOnly.NameLabel->text(), QStringLiteral("demo"));
    EXPECT_EQ(productOnly.RecLabel->text(), QStringLiteral("REC-1"));
}

TEST_F(UserVCTest, Values_AreThoseOfTheMomentTheScreenIsShown) {
    UserVC screen;
    appState().userName = QStringLiteral("later");
    screen.loadViewIfNeeded();
    EXPECT_EQ(screen.NameLabel->text(), QStringLiteral("later"));
}

TEST_F(UserVCTest, UserTop_ShowsTheEmail) {
    appState().userEmail = QStringLiteral("demo@orvel.test");
    UserTop header;
    EXPECT_EQ(header.EmailLabel->text(), QStringLiteral("demo@orvel.test"));
    EXPECT_EQ(header.EmailLabel->font().pointSize(), 15);
}
