#include "core/LocalizeStrings.h"

#include "support/TestEnvironment.h"

#include <QSet>

class LocalizeStringsTest : public OrvelTest {};

TEST_F(LocalizeStringsTest, KeyWithoutEntryShowsAsItself) {
    EXPECT_EQ(localized(QStringLiteral("NO_SUCH_KEY_X")), QStringLiteral("NO_SUCH_KEY_X"));
    EXPECT_EQ(localized(QStringLiteral("서울")), QStringLiteral("서울"));
}

TEST_F(LocalizeStringsTest, EveryKeyHasARealTextInAllThreeLanguages) {
    LocalizeStrings& strings = LocalizeStrings::shared();
    const QStringList english = strings.keys(QStringLiteral("en"));
    ASSERT_FALSE(english.isEmpty());
    for (const QString& language : {QStringLiteral("ko"), QStringLiteral("zh")}) {
        const QStringList other = strings.keys(language);
        EXPECT_EQ(QSet<QString>(english.begin(), english.end()),
                  QSet<QString>(other.begin(), other.end()))
            << language.toStdString();
        strings.setLanguage(language);
        for (const QString& key : other)
            EXPECT_FALSE(strings.text(key).trimmed().isEmpty()) << key.toStdString();
    }
}

TEST_F(LocalizeStringsTest, LanguageFollowsTheLocaleCode) {
    EXPECT_EQ(LocalizeStrings::tableForLocale(QStringLiteral("ko_KR")), QStringLiteral("ko"));
    EXPECT_EQ(LocalizeStrings::tableForLocale(QStringLiteral("zh_TW")), QStringLiteral("zh"));
    EXPECT_EQ(LocalizeStrings::tableForLocale(QStringLiteral("zh-Hans-CN")), QStringLiteral("zh"));
    EXPECT_EQ(LocalizeStrings::tableForLocale(QStringLiteral("de_DE")), QStringLiteral("en"));
    EXPECT_EQ(LocalizeStrings::tableForLocale(QStringLiteral("C")), QStringLiteral("en"));
}

TEST_F(LocalizeStringsTest, SwitchingLanguageChangesTheText) {
    LocalizeStrings& strings = LocalizeStrings::shared();
    strings.setLanguage(QStringLiteral("ko"));
    const QString korean = localized(QStringLiteral("CONFIRM"));
    strings.setLanguage(QStringLiteral("en"));
    EXPECT_NE(korean, localized(QStringLiteral("CONFIRM")));
}
