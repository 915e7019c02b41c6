#include "core/ServiceDate.h"

#include <gtest/gtest.h>

TEST(ServiceDateTest, ParsesTheFixedFormatAsLocalTime) {
    const auto moment = parseServiceDate(QStringLiteral("2026-12-31 23:59:58"));
    ASSERT_TRUE(moment.has_value());
    EXPECT_EQ(moment->timeSpec(), Qt::LocalTime);
    EXPECT_EQ(moment->date(), QDate(2026, 12, 31));
    EXPECT_EQ(moment->time(), QTime(23, 59, 58));
}

TEST(ServiceDateTest, TextThatDoesNotMatchIsUnknown) {
    for (const char* text : {"", "2026-12-31", "2026-12-31T23:59:58", "2026-12-31 23:59:58Z",
                             " 2026-12-31 23:59:58", "2026-13-01 00:00:00", "2026-02-30 10:00:00",
                             "2026-12-31 24:00:00", "yyyy-MM-dd HH:mm:ss", "2026-1-01 00:00:00"})
        EXPECT_FALSE(parseServiceDate(QString::fromUtf8(text)).has_value()) << text;
}
