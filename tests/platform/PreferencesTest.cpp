#include "platform/SettingsPreferences.h"
#include "support/MemoryPreferences.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(PreferencesTest, SettingsFile_IsPrivateAndKeepsTypedValuesAcrossInstances) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/preferences.ini"));
    {
        SettingsPreferences preferences(path);
        preferences.setValue(QStringLiteral("isChecked"), 1);
        preferences.setValue(QStringLiteral("password"), QStringLiteral("p\"a=s;s\\w[o]rd"));
        preferences.setValue(QStringLiteral("email"), QString());
    }
    const QFileDevice::Permissions mode = QFileInfo(path).permissions();
    EXPECT_TRUE(mode.testFlags(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    EXPECT_EQ(mode & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                      QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther),
              QFileDevice::Permissions());
    SettingsPreferences reopened(path);
    EXPECT_EQ(reopened.integer(QStringLiteral("isChecked")), 1);
    EXPECT_EQ(reopened.string(QStringLiteral("isChecked")), QStringLiteral("1"));
    EXPECT_EQ(reopened.string(QStringLiteral("password")), QStringLiteral("p\"a=s;s\\w[o]rd"));
    EXPECT_TRUE(reopened.contains(QStringLiteral("email")));
    EXPECT_EQ(reopened.string(QStringLiteral("email")), QString());
    reopened.remove(QStringLiteral("email"));
    EXPECT_FALSE(SettingsPreferences(path).contains(QStringLiteral("email")));
}

TEST(PreferencesTest, Integer_TextThatIsNotANumberIsAbsent) {
    MemoryPreferences preferences;
    preferences.setValue(QStringLiteral("notice_id"), QStringLiteral("seven"));
    EXPECT_FALSE(preferences.integer(QStringLiteral("notice_id")).has_value());
    EXPECT_FALSE(preferences.integer(QStringLiteral("missing")).has_value());
    preferences.setValue(QStringLiteral("notice_id"), 7);
    EXPECT_EQ(preferences.integer(QStringLiteral("notice_id")), 7);
}
