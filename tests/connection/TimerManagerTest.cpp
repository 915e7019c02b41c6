#include "connection/TimerManager.h"

#include "support/TestEnvironment.h"

#include <optional>

class TimerManagerTest : public OrvelTest {
protected:
    struct Call {
        std::optional<QString> text;
        bool finished;
    };
    QList<Call> calls;
    TimerManager::Handler recorder() {
        return [this](std::optional<QString> text, bool finished) {
            calls.append({text, finished});
        };
    }
};

TEST_F(TimerManagerTest, TimeString_FormatsHoursMinutesSeconds) {
    EXPECT_EQ(TimerManager::timeString(3725), QStringLiteral("01:02:05"));
    EXPECT_EQ(TimerManager::timeString(0), QStringLiteral("00:00:00"));
    EXPECT_EQ(TimerManager::timeString(360000), QStringLiteral("100:00:00"));
    EXPECT_EQ(TimerManager::timeString(59.9), QStringLiteral("00:00:59"));
}

TEST_F(TimerManagerTest, CountdownOfTwo_TicksTwiceThenReportsTheEndAndStops) {
    TimerManager::start(2, recorder());
    TimerManager::update();
    TimerManager::update();
    TimerManager::update();
    ASSERT_EQ(calls.size(), 3);
    EXPECT_EQ(calls.at(0).text, QStringLiteral("00:00:01"));
    EXPECT_FALSE(calls.at(0).finished);
    EXPECT_EQ(calls.at(1).text, QStringLiteral("00:00:00"));
    EXPECT_FALSE(calls.at(1).text == std::nullopt);
    EXPECT_EQ(calls.at(2).text, std::nullopt);
    EXPECT_TRUE(calls.at(2).finished);
    EXPECT_FALSE(TimerManager::isRunning());
}

TEST_F(TimerManagerTest, WithoutHandler_TicksOnlyCountAndStopAtZero) {
    TimerManager::start(1, nullptr);
    TimerManager::update();
    EXPECT_EQ(TimerManager::remainingSeconds(), 0);
    EXPECT_TRUE(TimerManager::isRunning());
    TimerManager::update();
    EXPECT_FALSE(TimerManager::isRunning());
}

TEST_F(TimerManagerTest, RealTimer_FinishesAboutOneSecondAfterLastTick) {
    bool finished = false;
    TimerManager::start(1, [&](std::optional<QString>, bool done) { finished = finished || done; });
    EXPECT_TRUE(waitUntil([&] { return finished; }, 5000));
}

TEST_F(TimerManagerTest, NewCountdown_StopsThePreviousOne) {
    int firstCalls = 0;
    TimerManager::start(5, [&](std::optional<QString>, bool) { ++firstCalls; });
    TimerManager::start(1, recorder());
    EXPECT_TRUE(waitUntil([&] { return !calls.isEmpty() && calls.last().finished; }, 5000));
    EXPECT_EQ(firstCalls, 0);
    EXPECT_EQ(calls.size(), 2);
}
